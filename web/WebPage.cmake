# The web page: the core configured a second time, with Emscripten's toolchain, in wasm/ of
# this build folder. Included by the top level of a native build.
find_program(TAVORIN_EMXX em++)
if(NOT TAVORIN_EMXX)
  message(FATAL_ERROR "The web page needs Emscripten (em++), which scripts/deps installs; "
    "-DTAVORIN_WEB=OFF builds everything else without it")
endif()
get_filename_component(emscripten_root "${TAVORIN_EMXX}" REALPATH)
get_filename_component(emscripten_root "${emscripten_root}" DIRECTORY)
set(emscripten_toolchain "${emscripten_root}/cmake/Modules/Platform/Emscripten.cmake")
if(NOT EXISTS "${emscripten_toolchain}")
  message(FATAL_ERROR "Emscripten's CMake toolchain is not at ${emscripten_toolchain}")
endif()

# Emscripten's cache of system libraries stays in this build folder. Debian's package ships
# them prebuilt, read-only: they are linked in, and anything else is built here. Debian's
# node does not search its own module folder, where Emscripten's tools find acorn.
set(TAVORIN_WEB_BUILD "${CMAKE_BINARY_DIR}/wasm")
set(web_cache "${TAVORIN_WEB_BUILD}/em-cache")
set(web_node_path "/usr/share/nodejs")
if(DEFINED ENV{NODE_PATH} AND NOT "$ENV{NODE_PATH}" STREQUAL "")
  string(APPEND web_node_path ":$ENV{NODE_PATH}")
endif()
# The native build's flags from the environment (a package build's hardening) are not for
# WebAssembly.
set(web_env --unset=CXXFLAGS --unset=CPPFLAGS --unset=LDFLAGS
  "NODE_PATH=${web_node_path}" "EM_CACHE=${web_cache}" "EM_FROZEN_CACHE=")
set(web_args -DCMAKE_TOOLCHAIN_FILE=${emscripten_toolchain} -DCMAKE_BUILD_TYPE=Release
  -DTAVORIN_WERROR=${TAVORIN_WERROR})
if(CMAKE_CXX_COMPILER_LAUNCHER)
  list(APPEND web_args "-DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}")
endif()

include(ExternalProject)
ExternalProject_Add(tavorin_web
  SOURCE_DIR "${CMAKE_SOURCE_DIR}"
  BINARY_DIR "${TAVORIN_WEB_BUILD}"
  CONFIGURE_COMMAND ${CMAKE_COMMAND} -Dfrom=${emscripten_root}/cache -Dto=${web_cache}
    -P ${CMAKE_SOURCE_DIR}/web/SeedCache.cmake
  COMMAND ${CMAKE_COMMAND} -E env ${web_env}
    ${CMAKE_COMMAND} -S <SOURCE_DIR> -B <BINARY_DIR> -G ${CMAKE_GENERATOR} ${web_args}
  BUILD_COMMAND ${CMAKE_COMMAND} -E env ${web_env} ${CMAKE_COMMAND} --build <BINARY_DIR>
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS "${TAVORIN_WEB_BUILD}/web/tavorin.html"
  USES_TERMINAL_BUILD ON)

set(TAVORIN_WEB_PAGE "${TAVORIN_WEB_BUILD}/web/tavorin.html")
include(GNUInstallDirs)
install(FILES "${TAVORIN_WEB_PAGE}" "${TAVORIN_WEB_PAGE}.sha256" DESTINATION ${CMAKE_INSTALL_DATADIR}/tavorin/web
  COMPONENT window)
