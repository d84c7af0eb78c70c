# Included from tests/tests.cmake for a Windows build run under Wine. Every test program, and
# the listing of its tests at build time, runs through a script of the build tree that gives it
# the build's own Wine prefix, made once before the first test program is built. Wine's
# console programs run headless: no display is needed.
find_program(WINE_PROGRAM "${CMAKE_CROSSCOMPILING_EMULATOR}" REQUIRED)
get_filename_component(wine_bin_dir "${WINE_PROGRAM}" DIRECTORY)
find_program(WINEBOOT_PROGRAM wineboot HINTS "${wine_bin_dir}" REQUIRED)
find_program(WINESERVER_PROGRAM wineserver HINTS "${wine_bin_dir}" REQUIRED)

set(PERF_ASSERT_WINEPREFIX "${CMAKE_BINARY_DIR}/wine-prefix" CACHE PATH
    "The Wine prefix the tests run in")
set(wine_run "${CMAKE_BINARY_DIR}/wine-run")
configure_file(tests/wine-run.in "${wine_run}" @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)

set(wine_prefix_ready "${PERF_ASSERT_WINEPREFIX}/perf_assert-ready")
add_custom_command(OUTPUT "${wine_prefix_ready}"
    COMMAND "${wine_run}" --init
    COMMAND "${CMAKE_COMMAND}" -E touch "${wine_prefix_ready}"
    COMMENT "Setting up the Wine prefix ${PERF_ASSERT_WINEPREFIX}"
    VERBATIM)
add_custom_target(wine_prefix DEPENDS "${wine_prefix_ready}")

# Targets made from here on take the script; the tool's own targets were made before.
set(CMAKE_CROSSCOMPILING_EMULATOR "${wine_run}")
set_target_properties(perf_assert murv PROPERTIES CROSSCOMPILING_EMULATOR "${wine_run}")

# One server for the whole run: the tests require this fixture.
add_test(NAME wine.StartServer COMMAND "${wine_run}" --start-server)
add_test(NAME wine.StopServer COMMAND "${wine_run}" --stop-server)
set_tests_properties(wine.StartServer PROPERTIES FIXTURES_SETUP wine_server)
set_tests_properties(wine.StopServer PROPERTIES FIXTURES_CLEANUP wine_server)
set(wine_test_properties FIXTURES_REQUIRED wine_server)
