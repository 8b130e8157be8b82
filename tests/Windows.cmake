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

# Crypto++ has no MinGW build in Debian: the tests that hold the engines to it run on Linux
# only (TAVORIN_HAVE_CRYPTOPP stays undefined), and so do the POSIX file unit's fault tests
# (processes forked and killed at each step, folders mounted read-only) and the command
# line's POSIX tests (terminals, signals, FIFOs); tests/windows/ has their Windows forms.
function(tavorin_windows_tests name library)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/test_file_faults\\.cpp$")
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
tavorin_windows_tests(windows tavorin_cli_lib)
target_link_libraries(tavorin_windows_tests PRIVATE psapi)
target_compile_definitions(tavorin_windows_tests PRIVATE TAVORIN_CLI_PATH="$<TARGET_FILE:tavorin-cli>")
add_dependencies(tavorin_windows_tests tavorin-cli)
