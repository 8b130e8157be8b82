# The Windows build (cross-built by scripts/windows with cmake/mingw-w64.cmake): the core and
# tavorin-cli.exe. The system normalises text (NormalizeString), so ICU is not needed; the
# window, the page and the benchmarks against Linux libraries are not built here.
set(TAVORIN_ICU OFF)
set(TAVORIN_WEB OFF)
set(TAVORIN_GUI OFF)
set(TAVORIN_SANITIZE OFF)
# Windows 8 is the oldest that names a file by its volume's 128-bit id (FileIdInfo), which is
# how the same file is told under two names on ReFS.
add_compile_definitions(_WIN32_WINNT=0x0602 WINVER=0x0602 WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
# Static: one .exe and nothing to carry beside it.
add_link_options(-static)
# Two builds of one commit give the same bytes: no link time in the header. The downloads carry
# no symbols (half the size).
add_link_options(-Wl,--no-insert-timestamp $<$<CONFIG:Release>:-s>)

# Tests and other programs of the build run under wine, in a prefix of the build's own (never
# the user's ~/.wine), with nothing of wine's own that would install itself or open windows.
find_program(TAVORIN_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(TAVORIN_WINE64 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/wine-run @ONLY CONTENT [[#!/bin/sh
# Runs a Windows program of this build under wine, in the build's own prefix.
export WINEPREFIX="${WINEPREFIX:-@CMAKE_BINARY_DIR@/wine}" WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
# The program keeps this process: a test finds what it holds locked in Linux's /proc/PID.
export TAVORIN_UNIX_PID=$$
exec "@TAVORIN_WINE64@" "$@"
]])
  file(CHMOD ${CMAKE_BINARY_DIR}/wine-run PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()
