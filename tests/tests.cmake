# Included from the top-level CMakeLists.txt when PERF_ASSERT_TESTS is on.
#
# Unit tests sit beside the code they test and are named by what they need: x_test.cpp needs
# only portable code or the fake pseudo-terminal layer and runs on every platform;
# x_posix_test.cpp and x_windows_test.cpp test native behaviour and run on their own platform.
# The end-to-end tests and the helpers shared by all tests live here.
if(CMAKE_CROSSCOMPILING)
    # The host's GoogleTest is built for the host: build one for the target from the sources
    # that Debian's googletest package installs, with its own flags.
    set(PERF_ASSERT_GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH
        "GoogleTest's sources, built for cross builds")
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory("${PERF_ASSERT_GOOGLETEST_SOURCE_DIR}" googletest EXCLUDE_FROM_ALL SYSTEM)
else()
    find_package(GTest REQUIRED)
endif()
include(GoogleTest)

if(WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR MATCHES "wine")
    include(tests/wine.cmake)
endif()

# A program that reports how it was started, run by tests in place of a shell or application.
add_executable(probe tests/probe_${platform}.cpp)
perf_assert_warnings(probe)
if(WIN32)
    target_link_libraries(probe PRIVATE shell32)
endif()

# The tests' helpers, by the layer they need. test_main is every test program's entry and
# brings the helpers' folder; what it needs of the os layer stays its own, so that the base
# layer's tests see no header above their layer. test_pty holds the layers a test puts in place
# of the native one.
add_library(test_main STATIC tests/gtest_main.cpp)
target_include_directories(test_main PUBLIC tests)
target_link_libraries(test_main PUBLIC GTest::gtest PRIVATE os)
target_compile_definitions(test_main PUBLIC
    "PROBE_PATH=\"${build_tree_drive}$<TARGET_FILE:probe>\"")
if(NOT PERF_ASSERT_SANITIZE STREQUAL "")
    target_compile_definitions(test_main PUBLIC PERF_ASSERT_SANITIZED)
endif()
perf_assert_warnings(test_main)
add_dependencies(test_main probe)
# Test programs are listed as they are built, so Wine's prefix has to be there by then.
if(TARGET wine_prefix)
    add_dependencies(test_main wine_prefix)
endif()

add_library(test_pty STATIC tests/fake_pty.cpp tests/blocking_host_pty.cpp)
target_link_libraries(test_pty PUBLIC pty test_main)
perf_assert_warnings(test_pty)

if(WIN32)
    set(other_platform posix)
else()
    set(other_platform windows)
endif()

# add_layer_tests(LAYER DIR [SOURCES...] [LIBRARIES...]): the unit tests beside the code of the
# layer LAYER in DIR, one program linked to the layer: its tests reach the headers of their layer
# and of those below it, and no others.
function(add_layer_tests layer dir)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "SOURCES;LIBRARIES")
    file(GLOB sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/${dir}/*_test.cpp")
    list(FILTER sources EXCLUDE REGEX "_${other_platform}_test\\.cpp$")
    add_executable(${layer}_tests ${sources} ${arg_SOURCES})
    target_link_libraries(${layer}_tests PRIVATE ${layer} test_main ${arg_LIBRARIES})
    perf_assert_warnings(${layer}_tests)
    gtest_discover_tests(${layer}_tests DISCOVERY_TIMEOUT 30 PROPERTIES ${wine_test_properties})
endfunction()

add_layer_tests(base src/base)
add_layer_tests(os src/os SOURCES tests/test_support_test.cpp)
add_layer_tests(pty src/pty)
add_layer_tests(session src/session LIBRARIES test_pty)
add_layer_tests(driver src/bin/perf_assert SOURCES tests/unit_project_dir.cpp LIBRARIES test_pty)

# The tool again, as the end-to-end tests run it: with a project directory relative to its
# working directory, so that each test brings its own application, and whose text needs care
# on the way. tests/perf_assert_e2e_*_test.cpp spell the same text.
if(WIN32)
    perf_assert_tool(perf_assert_fixture "app 项目")
else()
    # Quotes, a tab, a backslash, a space and non-ASCII.
    perf_assert_tool(perf_assert_fixture "/proc/self/cwd/app \"项目\"\t\\dir")
endif()

add_executable(perf_assert_e2e_test tests/perf_assert_e2e_${platform}_test.cpp)
target_link_libraries(perf_assert_e2e_test PRIVATE os test_main)
perf_assert_warnings(perf_assert_e2e_test)
target_compile_definitions(perf_assert_e2e_test PRIVATE
    "PERF_ASSERT_FIXTURE=\"${build_tree_drive}$<TARGET_FILE:perf_assert_fixture>\""
    "STAND_IN_PATH=\"${build_tree_drive}$<TARGET_FILE:murv>\"")
add_dependencies(perf_assert_e2e_test perf_assert_fixture murv)

if(WIN32)
    # Loaded into the fixture by the tests (tests/inject_windows.cpp): has the system refuse it
    # a call. It has no C runtime start, and links its compiler runtime in: it must not depend
    # on what the tool under test does with either.
    add_library(inject MODULE tests/inject_windows.cpp)
    set_target_properties(inject PROPERTIES PREFIX "")
    if(MSVC)
        target_compile_options(inject PRIVATE /O1 /GR- /EHs-c- /GS-)
        target_link_options(inject PRIVATE /ENTRY:inject_entry /NODEFAULTLIB)
    else()
        target_compile_options(inject PRIVATE -Os -fno-exceptions -fno-rtti)
        target_link_options(inject PRIVATE -static -nostartfiles -s -Wl,--entry,inject_entry)
    endif()
    perf_assert_warnings(inject)
    target_compile_definitions(perf_assert_e2e_test PRIVATE
        "INJECT_PATH=\"${build_tree_drive}$<TARGET_FILE:inject>\"")
    add_dependencies(perf_assert_e2e_test inject)
    # Serial, as the next one: the run's own budgets are timed. The table of refused calls runs
    # the tool fifteen times, each allowed 30 s.
    gtest_discover_tests(perf_assert_e2e_test DISCOVERY_TIMEOUT 30
        PROPERTIES RUN_SERIAL TRUE TIMEOUT 600 ${wine_test_properties})
    # And the tool as built, against the stand-in in its default project directory.
    if(APP_PROJECT_DIR STREQUAL "")
        add_test(NAME perf_assert.AgainstTheStandIn COMMAND perf_assert)
        set_tests_properties(perf_assert.AgainstTheStandIn PROPERTIES
            RUN_SERIAL TRUE ${wine_test_properties})
    endif()
else()
    # Preloaded into the tool: makes it hold memory, or the system refuse it a call.
    add_library(inject MODULE tests/inject.cpp)
    target_link_libraries(inject PRIVATE ${CMAKE_DL_LIBS})
    perf_assert_warnings(inject)
    target_compile_definitions(perf_assert_e2e_test PRIVATE
        "INJECT_PATH=\"$<TARGET_FILE:inject>\"")
    add_dependencies(perf_assert_e2e_test inject)
    gtest_discover_tests(perf_assert_e2e_test DISCOVERY_TIMEOUT 30)
endif()
