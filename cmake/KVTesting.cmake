include(GoogleTest)

# kv_add_test(NAME SOURCES... LIBS libs...) adds one GoogleTest binary whose cases CTest lists
# one by one. Tests find the shared test data through KV_TESTDATA_DIR and skip when it is absent.
function(kv_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    target_compile_definitions(${name} PRIVATE
        KV_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/../shared/testdata")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
