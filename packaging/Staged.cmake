# Run by cpack on the staged install, before it is packed: every folder 0755 whatever the umask
# (an install makes folders through it), and the programs without the sections that strip
# leaves (compiler notes), as Debian's own packages are.
set(staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
file(GLOB_RECURSE folders LIST_DIRECTORIES true "${staged}/*")
foreach(folder "${staged}" ${folders})
  if(IS_DIRECTORY "${folder}")
    file(CHMOD "${folder}" DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
# One folder per package (component) holds its usr/.
file(GLOB programs "${staged}/*${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
foreach(program ${programs})
  execute_process(COMMAND "${CPACK_TAVORIN_STRIP}" --remove-section=.comment --remove-section=.note "${program}"
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
