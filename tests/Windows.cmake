# What the Windows build tests besides the layers' programs (tests/CMakeLists.txt), under wine
# by scripts/windows: the Windows file unit (tests/windows/), tavorin-cli.exe, and the window.
tavorin_layer_tests(windows tavorin_engines)
# The command-line suite of Linux, starting tavorin-cli.exe through CreateProcessW.
target_sources(tavorin_cli_tests PRIVATE cli/windows/Runner.cpp)
target_link_libraries(tavorin_cli_tests PRIVATE psapi)
target_compile_definitions(tavorin_cli_tests PRIVATE TAVORIN_CLI_PATH="$<TARGET_FILE:tavorin-cli>")
add_dependencies(tavorin_cli_tests tavorin-cli)

# The Win32 window's controls, and the window used as a person uses it (xdotool and xclip), on
# the X display scripts/windows gives them, one at a time, since they share its pointer and
# clipboard.
file(GLOB TAVORIN_WIN32_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/desktop/win32/*.cpp)
# The command tests shared with the Qt window, over this front end's driver (Win32Driver.cpp).
add_executable(tavorin_win32_tests ${TAVORIN_WIN32_TEST_SOURCES}
  ${CMAKE_CURRENT_SOURCE_DIR}/desktop/window/test_window_commands.cpp)
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
