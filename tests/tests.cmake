# Included from the top-level CMakeLists.txt when PERF_ASSERT_TESTS is on. Unit tests live
# beside the code they test (*_test.cpp); the end-to-end test and shared helpers live here.
find_package(GTest REQUIRED)
include(GoogleTest)

# A program that reports how it was started, run by tests in place of a shell or application.
add_executable(probe tests/probe.cpp)

add_library(test_support STATIC tests/fake_pty.cpp)
target_include_directories(test_support PUBLIC tests)
target_link_libraries(test_support PUBLIC murv_session GTest::gtest GTest::gtest_main)
target_compile_definitions(test_support PUBLIC "PROBE_PATH=\"$<TARGET_FILE:probe>\"")
add_dependencies(test_support probe)

file(GLOB_RECURSE unit_test_sources CONFIGURE_DEPENDS
    "${PROJECT_SOURCE_DIR}/src/*_test.cpp")
# Platform tests run only on their own platform.
if(WIN32)
    list(FILTER unit_test_sources EXCLUDE REGEX "_posix_test\\.cpp$")
else()
    list(FILTER unit_test_sources EXCLUDE REGEX "_windows_test\\.cpp$")
endif()
add_executable(unit_tests ${unit_test_sources} tests/unit_project_dir.cpp)
target_link_libraries(unit_tests PRIVATE perf_assert_checks test_support)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 30)

# The tool again, with a project directory below its working directory (so that each test
# brings its own fake application) whose text needs every kind of care: quotes, a backslash,
# a space and non-ASCII. tests/perf_assert_e2e_test.cpp spells the same text.
perf_assert_tool(perf_assert_fixture "/proc/self/cwd/app \"项目\" \\dir")

add_executable(perf_assert_e2e_test tests/perf_assert_e2e_test.cpp)
target_link_libraries(perf_assert_e2e_test PRIVATE test_support)
target_compile_definitions(perf_assert_e2e_test PRIVATE
    "PERF_ASSERT_FIXTURE=\"$<TARGET_FILE:perf_assert_fixture>\"")
add_dependencies(perf_assert_e2e_test perf_assert_fixture)
gtest_discover_tests(perf_assert_e2e_test DISCOVERY_TIMEOUT 30)
