# The programs that ship: optimised, stripped, and equal to the byte when the
# same commit is built again in another folder or at another time.
#
# Included before any target exists, so that every program takes the flags.

# The time every release artefact carries: the commit's, never the clock's.
# The package script passes it; a configure without it asks git.
set(KB_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}" CACHE STRING
    "Seconds since 1970 stamped into the release programs and packages")
if(KB_SOURCE_DATE_EPOCH STREQUAL "")
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE KB_SOURCE_DATE_EPOCH
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE git_status)
  if(NOT git_status EQUAL 0 OR NOT KB_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "A release build needs SOURCE_DATE_EPOCH or a git checkout")
  endif()
  set(KB_SOURCE_DATE_EPOCH "${KB_SOURCE_DATE_EPOCH}" CACHE STRING "" FORCE)
endif()
if(NOT KB_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "KB_SOURCE_DATE_EPOCH is not a number: ${KB_SOURCE_DATE_EPOCH}")
endif()

# Paths of this machine's folders would otherwise reach the programs through
# __FILE__ and any debug information a library brings along.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
add_link_options(-s)

if(WIN32)
  # The PE header's time stamp: MinGW's linker writes the link time unless
  # SOURCE_DATE_EPOCH is in its environment. Setting it on the link command
  # itself keeps the stamp the commit's however the build is started.
  set_property(GLOBAL PROPERTY RULE_LAUNCH_LINK
               "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${KB_SOURCE_DATE_EPOCH}")
endif()
