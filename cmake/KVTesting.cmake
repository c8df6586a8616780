include(GoogleTest)

# kv_add_test(NAME [GUI_MAIN] SOURCES... LIBS libs...) adds one GoogleTest binary whose cases
# CTest lists one by one. GUI_MAIN gives the binary a QApplication on the offscreen platform.
# Tests find the test pictures of tests/data through KV_TESTDATA_DIR.
function(kv_add_test name)
    cmake_parse_arguments(ARG "GUI_MAIN" "" "SOURCES;LIBS" ${ARGN})
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
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
