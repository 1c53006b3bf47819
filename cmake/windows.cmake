# Windows build: the portable core as a static library for the deliverables and
# the Windows test programs, and the Wine environment the tests run in.

add_library(veriloom_core STATIC ${VERILOOM_CORE_SOURCES})
target_include_directories(veriloom_core PUBLIC ${CMAKE_SOURCE_DIR})
veriloom_warnings(veriloom_core)

# A private Wine prefix in the build folder; never the user's ~/.wine.
set(VERILOOM_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(VERILOOM_WINEDEBUG "-all" CACHE STRING "WINEDEBUG for the Windows tests (e.g. warn+eventlog)")
set(VERILOOM_WINE_ENVIRONMENT
    "WINEPREFIX=${VERILOOM_WINEPREFIX}"
    "WINEDEBUG=${VERILOOM_WINEDEBUG}"
    "WINEDLLOVERRIDES=mscoree,mshtml="
    "WINEARCH=win64")

# Converts a Unix path to the Z: drive path that Windows programs under Wine use.
function(veriloom_wine_path out unixPath)
    set(${out} "Z:${unixPath}" PARENT_SCOPE)
endfunction()

# Runs a Windows test program under Wine, in one Wine process, between the
# fixture that creates the prefix and starts one persistent wineserver and the
# one that shuts that server down.
# Extra environment entries (NAME=value) follow the target.
function(veriloom_add_wine_test name target)
    add_test(NAME ${name} COMMAND ${target})
    set_tests_properties(${name} PROPERTIES
        FIXTURES_REQUIRED wine
        ENVIRONMENT "${VERILOOM_WINE_ENVIRONMENT};${ARGN}"
        TIMEOUT 600)
endfunction()

add_test(NAME wine.start COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-session.sh start ${VERILOOM_WINEPREFIX})
add_test(NAME wine.stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-session.sh stop ${VERILOOM_WINEPREFIX})
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
