# cmake -Dfrom=DIR -Dto=DIR -P SeedCache.cmake
# Fills an empty Emscripten cache with links to the system libraries a packaged Emscripten
# ships prebuilt (Debian's, under its own cache folder): building them takes longer than the
# whole rest of the project. Libraries missing there are built into `to` on first use.
if(EXISTS "${to}/sysroot_install.stamp" OR NOT EXISTS "${from}/sysroot_install.stamp")
  return()
endif()
file(MAKE_DIRECTORY "${to}")
execute_process(COMMAND cp -as "${from}/sysroot" "${from}/sysroot_install.stamp" "${to}/"
  RESULT_VARIABLE failed)
if(failed)
  file(REMOVE_RECURSE "${to}/sysroot" "${to}/sysroot_install.stamp")
endif()
