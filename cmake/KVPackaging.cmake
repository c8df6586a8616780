# Debian packages of the three programs, one each (`cpack -G DEB` in a build folder, or
# scripts/make-packages.sh): kvsc, kvravelock-launcher and kvrinstaller. Their dependencies are
# read off the binaries by dpkg-shlibdeps.
set(kv_package_kvsc kvsc)
set(kv_package_launcher kvravelock-launcher)
set(kv_package_installer kvrinstaller)

# What Debian wants of every package: its copyright, a compressed changelog, compressed manuals.
set(kv_changelog_gz ${CMAKE_BINARY_DIR}/debian/changelog.gz)
add_custom_command(OUTPUT ${kv_changelog_gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/debian
    COMMAND gzip -9n < ${PROJECT_SOURCE_DIR}/cmake/debian/changelog > ${kv_changelog_gz}
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog
    VERBATIM)
add_custom_target(kv_package_docs ALL DEPENDS ${kv_changelog_gz})
foreach(component kvsc launcher installer)
    if(component STREQUAL kvsc OR KV_GUI)
        install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${kv_changelog_gz}
            DESTINATION share/doc/${kv_package_${component}} COMPONENT ${component})
    endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kv-tools)
set(CPACK_PACKAGE_VENDOR Orlinde)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
if(KV_GUI)
    set(CPACK_COMPONENTS_ALL kvsc launcher installer)
else()
    set(CPACK_COMPONENTS_ALL kvsc)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "KV tools maintainers <kv-tools@orlinde.example>")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_KVSC_PACKAGE_NAME ${kv_package_kvsc})
set(CPACK_DEBIAN_KVSC_PACKAGE_SECTION graphics)
set(CPACK_COMPONENT_KVSC_DESCRIPTION
    "cut Korvane screenshots down to the scoreboard as JPEG files
KV Screenshot Converter takes BMP and JPEG screenshots of the team shooter
Korvane, checks each against the screen resolutions known for the chosen game
edition, cuts it down to the scoreboard, scales it with a Lanczos-3 filter and
writes it as a JPEG file under the lowest free number. `kvsc convert` does the
same from the command line, without a window.")

set(CPACK_DEBIAN_LAUNCHER_PACKAGE_NAME ${kv_package_launcher})
set(CPACK_DEBIAN_LAUNCHER_PACKAGE_SECTION misc)
set(CPACK_COMPONENT_LAUNCHER_DESCRIPTION
    "start Unreal Tournament 2004 with the KVRavelock modification
KVRavelock Launcher finds the game from its log file, checks that the
KVRavelock modification is installed, starts the game with the modification's
arguments and quits when the game exits.")

set(CPACK_DEBIAN_INSTALLER_PACKAGE_NAME ${kv_package_installer})
set(CPACK_DEBIAN_INSTALLER_PACKAGE_SECTION misc)
# Administrator rights for users who are not root come through pkexec.
set(CPACK_DEBIAN_INSTALLER_PACKAGE_RECOMMENDS pkexec)
set(CPACK_COMPONENT_INSTALLER_DESCRIPTION
    "install the KVRavelock modification into Unreal Tournament 2004
KVRInstaller finds the game, unpacks the modification's archive (which must
lie beside the program) into it with administrator rights, waits for the
modification's marker file and copies the zipped launcher to the Desktop.")

include(CPack)
