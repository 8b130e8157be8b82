# Cross-building the Windows programs with Debian's MinGW-w64 (the POSIX thread model, which
# std::thread and std::jthread need). scripts/windows uses it; tests run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(tavorin_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${tavorin_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${tavorin_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${tavorin_mingw}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${tavorin_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# No DLLs to carry: the C++ library, the compiler's runtime and the thread library are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
