include(GoogleTest)

# Under Wine every test needs the one persistent Wine server that the WineServer fixture keeps
# for the whole run (scripts/windows/wine-server.sh says why).
set(KV_TEST_FIXTURES "")
if(WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR)
    set(kv_wine_server ${PROJECT_SOURCE_DIR}/scripts/windows/wine-server.sh)
    add_test(NAME WineServer.Start COMMAND ${kv_wine_server} start)
    add_test(NAME WineServer.Stop COMMAND ${kv_wine_server} stop)
    set_tests_properties(WineServer.Start PROPERTIES FIXTURES_SETUP WineServer)
    set_tests_properties(WineServer.Stop PROPERTIES FIXTURES_CLEANUP WineServer)
    set(KV_TEST_FIXTURES WineServer)
endif()

# kv_add_test(NAME [GUI_MAIN] [LABEL label] [LOCK resource] SOURCES... LIBS libs...) adds one
# GoogleTest binary whose cases CTest lists one by one. GUI_MAIN gives the binary a QApplication
# on the offscreen platform; LABEL marks its cases (`ctest -L label`, `-LE label`); LOCK runs them
# one at a time with every other case holding the same resource.
# Tests find the test pictures of tests/data through KV_TESTDATA_DIR.
function(kv_add_test name)
    cmake_parse_arguments(ARG "GUI_MAIN" "LABEL;LOCK" "SOURCES;LIBS" ${ARGN})
    if(ARG_GUI_MAIN)
        add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/GuiTestMain.cpp)
        target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Widgets GTest::gtest)
    else()
        add_executable(${name} ${ARG_SOURCES})
        target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    endif()
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    target_compile_definitions(${name} PRIVATE
        KV_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
    set(properties ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    if(KV_TEST_FIXTURES)
        list(APPEND properties FIXTURES_REQUIRED ${KV_TEST_FIXTURES})
    endif()
    if(ARG_LABEL)
        list(APPEND properties LABELS ${ARG_LABEL})
    endif()
    if(ARG_LOCK)
        list(APPEND properties RESOURCE_LOCK ${ARG_LOCK})
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()
