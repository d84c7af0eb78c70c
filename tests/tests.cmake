# Included from the top-level CMakeLists.txt when PERF_ASSERT_TESTS is on. Unit tests live
# beside the code they test (*_test.cpp); the end-to-end test and shared helpers live here.
if(CMAKE_CROSSCOMPILING)
    # The host's GoogleTest is built for the host: build one for the target from the sources
    # that Debian's googletest package installs.
    set(PERF_ASSERT_GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH
        "GoogleTest's sources, built for cross builds")
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory("${PERF_ASSERT_GOOGLETEST_SOURCE_DIR}" googletest EXCLUDE_FROM_ALL SYSTEM)
    # Its code is not held to this project's warnings.
    target_compile_options(gtest PRIVATE -w)
    target_compile_options(gtest_main PRIVATE -w)
else()
    find_package(GTest REQUIRED)
endif()
include(GoogleTest)

if(WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR MATCHES "wine")
    include(tests/wine.cmake)
endif()

# A program that reports how it was started, run by tests in place of a shell or application.
if(WIN32)
    add_executable(probe tests/probe_windows.cpp)
    target_link_libraries(probe PRIVATE shell32)
else()
    add_executable(probe tests/probe.cpp)
endif()

add_library(test_support STATIC tests/fake_pty.cpp)
target_include_directories(test_support PUBLIC tests)
target_link_libraries(test_support PUBLIC murv_session GTest::gtest)
if(WIN32)
    # Its own entry: the test list has to come out without carriage returns to be read.
    target_sources(test_support PRIVATE tests/gtest_main_windows.cpp)
else()
    target_link_libraries(test_support PUBLIC GTest::gtest_main)
endif()
target_compile_definitions(test_support PUBLIC
    "PROBE_PATH=\"${build_tree_drive}$<TARGET_FILE:probe>\"")
add_dependencies(test_support probe)

file(GLOB_RECURSE unit_test_sources CONFIGURE_DEPENDS
    "${PROJECT_SOURCE_DIR}/src/*_test.cpp")
# Platform tests run only on their own platform.
if(WIN32)
    list(FILTER unit_test_sources EXCLUDE REGEX "_posix_test\\.cpp$")
    # These spell POSIX facts in their expectations (shell paths and variables, program names
    # without a suffix, waitpid, /bin/sh); their *_windows_test.cpp neighbours stand for them.
    list(REMOVE_ITEM unit_test_sources
        "${PROJECT_SOURCE_DIR}/src/bin/perf_assert/discovery_test.cpp"
        "${PROJECT_SOURCE_DIR}/src/bin/perf_assert/idle_rss_test.cpp"
        "${PROJECT_SOURCE_DIR}/src/session/manager_test.cpp"
        "${PROJECT_SOURCE_DIR}/src/session/pty_session_test.cpp")
    # GoogleTest's Windows build has no POSIX regular expressions, which this one's pattern uses.
    set(unit_test_options
        TEST_FILTER "-OutputRingDeathTest.*" PROPERTIES ${wine_test_properties})
else()
    list(FILTER unit_test_sources EXCLUDE REGEX "_windows_test\\.cpp$")
endif()
add_executable(unit_tests ${unit_test_sources} tests/unit_project_dir.cpp)
target_link_libraries(unit_tests PRIVATE perf_assert_checks test_support)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 30 ${unit_test_options})
# Test programs are listed as they are built, so Wine's prefix has to be there by then.
if(TARGET wine_prefix)
    add_dependencies(test_support wine_prefix)
endif()

if(WIN32)
    # The tool again, with a project directory relative to its working directory, so that
    # each test brings its own application; a space and non-ASCII need care on the way.
    perf_assert_tool(perf_assert_fixture "app 项目")

    add_executable(perf_assert_e2e_test tests/perf_assert_e2e_windows_test.cpp)
    target_link_libraries(perf_assert_e2e_test PRIVATE test_support)
    target_compile_definitions(perf_assert_e2e_test PRIVATE
        "PERF_ASSERT_FIXTURE=\"${build_tree_drive}$<TARGET_FILE:perf_assert_fixture>\""
        "STAND_IN_PATH=\"${build_tree_drive}$<TARGET_FILE:murv>\"")
    add_dependencies(perf_assert_e2e_test perf_assert_fixture murv)
    # Serial, as the next one: the run's own budgets are timed.
    gtest_discover_tests(perf_assert_e2e_test DISCOVERY_TIMEOUT 30
        PROPERTIES RUN_SERIAL TRUE ${wine_test_properties})

    # And the tool as built, against the stand-in in its default project directory.
    if(APP_PROJECT_DIR STREQUAL "")
        add_test(NAME perf_assert.AgainstTheStandIn COMMAND perf_assert)
        set_tests_properties(perf_assert.AgainstTheStandIn PROPERTIES
            RUN_SERIAL TRUE ${wine_test_properties})
    endif()
else()
    # The tool again, with a project directory below its working directory (so that each test
    # brings its own fake application) whose text needs every kind of care: quotes, a tab, a
    # backslash, a space and non-ASCII. tests/perf_assert_e2e_test.cpp spells the same text.
    perf_assert_tool(perf_assert_fixture "/proc/self/cwd/app \"项目\"\t\\dir")

    add_executable(perf_assert_e2e_test tests/perf_assert_e2e_test.cpp)
    target_link_libraries(perf_assert_e2e_test PRIVATE test_support)
    target_compile_definitions(perf_assert_e2e_test PRIVATE
        "PERF_ASSERT_FIXTURE=\"$<TARGET_FILE:perf_assert_fixture>\"")
    add_dependencies(perf_assert_e2e_test perf_assert_fixture)
    gtest_discover_tests(perf_assert_e2e_test DISCOVERY_TIMEOUT 30)
endif()
