# Helpers that give every target of the project the same shape.

include(GoogleTest)

function(app_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
    if(VEILMOX_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# app_library(name SOURCES ... LINKS ...): one static library per top folder.
function(app_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LINKS})
    app_warnings(${name})
endfunction()

# app_test(name SOURCES ... LINKS ...): one GoogleTest executable per folder, run headless.
function(app_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE test_support ${ARG_LINKS} GTest::gtest GTest::gmock)
    app_warnings(${name})
    # Each case is its own CTest test, so a failure names the case and every case runs alone.
    # One variable per property: a list in ENVIRONMENT is split on its way to the tests.
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
            ENVIRONMENT_MODIFICATION "VEILMOX_TEST_TMP=set:${CMAKE_CURRENT_BINARY_DIR}/tmp"
            TIMEOUT 300)
endfunction()

# app_bench(name SOURCES ... LINKS ...): a Google Benchmark executable.
function(app_bench name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LINKS} benchmark::benchmark)
    app_warnings(${name})
endfunction()
