# The tests of the Windows build, run under wine by scripts/windows: one program per core layer
# as on Linux, and one of the Windows file unit and of tavorin-cli.exe (tests/windows/). Debian
# ships GoogleTest's sources, not a MinGW build of it: it is built here with the rest.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

add_library(tavorin_test_vectors STATIC Vectors.cpp)
target_link_libraries(tavorin_test_vectors PUBLIC tavorin_base)
target_compile_definitions(tavorin_test_vectors PUBLIC TAVORIN_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
target_compile_options(tavorin_test_vectors PRIVATE ${TAVORIN_WARNINGS} -Wno-conversion)

# Crypto++ has no MinGW build in Debian: the tests that hold the engines to it skip, saying so
# (TAVORIN_HAVE_CRYPTOPP stays undefined). The POSIX file unit's fault tests (processes forked
# and killed at each step, folders mounted read-only) and the command line's signal tests run on
# Linux only: tests/windows/ and the command-line suite's Windows cases are their forms here.
function(tavorin_windows_tests name library)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/test_(file_faults|cli_kills)\\.cpp$")
  set(program tavorin_${name}_tests)
  add_executable(${program} ${sources})
  target_link_libraries(${program} PRIVATE ${library} tavorin_test_vectors gtest gtest_main gmock)
  target_include_directories(${program} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_options(${program} PRIVATE ${TAVORIN_WARNINGS} -Wno-conversion)
  if(name MATCHES "^(codecs|engines|envelope)$")
    target_sources(${program} PRIVATE PublishedVectors.cpp)
    target_compile_definitions(${program} PRIVATE TAVORIN_VECTOR_LAYER="${name}")
  endif()
  # Listed when ctest starts, under wine, rather than while building.
  gtest_discover_tests(${program} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 600)
endfunction()
tavorin_windows_tests(base tavorin_base)
tavorin_windows_tests(codecs tavorin_codecs)
tavorin_windows_tests(engines tavorin_engines)
tavorin_windows_tests(envelope tavorin_envelope)
tavorin_windows_tests(cli tavorin_cli_lib)
tavorin_windows_tests(windows tavorin_engines)
# The command-line suite of Linux, starting tavorin-cli.exe through CreateProcessW.
target_sources(tavorin_cli_tests PRIVATE cli/windows/Runner.cpp)
target_link_libraries(tavorin_cli_tests PRIVATE psapi)
target_compile_definitions(tavorin_cli_tests PRIVATE TAVORIN_CLI_PATH="$<TARGET_FILE:tavorin-cli>")
add_dependencies(tavorin_cli_tests tavorin-cli)

# The command tests of the desktop layer, those of the Win32 window's controls, and the window
# used as a person uses it (xdotool and xclip); the last two on the X display scripts/windows
# gives them, one at a time, since they share its pointer and clipboard.
tavorin_windows_tests(desktop tavorin_desktop)
file(GLOB TAVORIN_WIN32_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/desktop/win32/*.cpp)
add_executable(tavorin_win32_tests ${TAVORIN_WIN32_TEST_SOURCES})
target_link_libraries(tavorin_win32_tests PRIVATE tavorin_win32 gtest gtest_main)
target_compile_definitions(tavorin_win32_tests PRIVATE TAVORIN_WINDOW_PATH=L"$<TARGET_FILE:tavorin>")
add_dependencies(tavorin_win32_tests tavorin)
target_compile_options(tavorin_win32_tests PRIVATE ${TAVORIN_WARNINGS} -Wno-conversion)
gtest_discover_tests(tavorin_win32_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES TIMEOUT 600 RESOURCE_LOCK x_display)
find_program(TAVORIN_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
add_test(NAME window_used_by_hand COMMAND ${TAVORIN_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/desktop/win32/test_window.py)
# Alone: on a loaded machine wine answers the pointer and keys late.
set_tests_properties(window_used_by_hand PROPERTIES TIMEOUT 180 RUN_SERIAL TRUE ENVIRONMENT
  "TAVORIN_WINE_RUN=${CMAKE_BINARY_DIR}/wine-run;TAVORIN_WINDOW=$<TARGET_FILE:tavorin>;TAVORIN_CLI=$<TARGET_FILE:tavorin-cli>")
