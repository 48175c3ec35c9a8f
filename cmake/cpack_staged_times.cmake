# Run by CPack after it has staged the files and before it packs them: every
# staged file and folder takes the commit's time and the same permissions, so
# that neither the build's clock nor the builder's umask reaches an archive.
if(NOT CPACK_KB_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "no source date for the staged files")
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(path IN LISTS staged)
  if(IS_DIRECTORY "${path}")
    execute_process(COMMAND chmod 0755 "${path}" COMMAND_ERROR_IS_FATAL ANY)
  elseif(NOT IS_SYMLINK "${path}")
    execute_process(COMMAND chmod u+rw,go+r,go-w "${path}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
list(APPEND staged "${CPACK_TEMPORARY_DIRECTORY}")
execute_process(COMMAND touch -h -d "@${CPACK_KB_SOURCE_DATE_EPOCH}" ${staged}
                COMMAND_ERROR_IS_FATAL ANY)
