# What the resource generators share: their arguments' check and how they
# write what they generate.

# Stops with a message naming `script` when one of the variables is not set.
function(require_arguments script)
  foreach(required ${ARGN})
    if(NOT DEFINED ${required})
      message(FATAL_ERROR "${script}: ${required} is not set")
    endif()
  endforeach()
endfunction()

# Writes `content` to `output` only when it differs, so that dependants do
# not rebuild for nothing, and through a temporary file, so that a build
# stopped halfway never leaves half a file that looks current.
function(write_generated output content)
  set(old "")
  if(EXISTS "${output}")
    file(READ "${output}" old)
  endif()
  if(NOT old STREQUAL content)
    file(WRITE "${output}.tmp" "${content}")
    file(RENAME "${output}.tmp" "${output}")
  endif()
endfunction()
