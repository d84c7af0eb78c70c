# Included from the top-level CMakeLists.txt when PERF_ASSERT_TESTS is on.
find_package(GTest REQUIRED)
include(GoogleTest)
