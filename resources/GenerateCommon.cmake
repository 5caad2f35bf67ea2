# What the resource generators share: their arguments' check, how they read
# their tables and how they write what they generate.

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

# The lines of a table. CMake lists split on ';' and treat '[' ']' specially,
# so those characters travel through the parsing as placeholders (restore
# gives them back).
function(read_lines file out)
  file(READ "${file}" content)
  string(REPLACE "\r" "" content "${content}")
  string(REPLACE ";" "@PELSEMI@" content "${content}")
  string(REPLACE "[" "@PELLB@" content "${content}")
  string(REPLACE "]" "@PELRB@" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

function(restore text out)
  string(REPLACE "@PELSEMI@" ";" text "${text}")
  string(REPLACE "@PELLB@" "[" text "${text}")
  string(REPLACE "@PELRB@" "]" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Calls the macro `each` for every record of a table (the list variable
# `lines`): every line that is neither blank nor a comment must match
# `pattern`, whose groups `each` finds in CMAKE_MATCH_<n>, with `lineno` and
# `where` ("<file>:<line>") for its own messages. Any other line stops the
# generation with "<file>:<line>: expected <usage>".
macro(foreach_record file lines pattern usage each)
  set(lineno 0)
  foreach(line IN LISTS ${lines})
    math(EXPR lineno "${lineno} + 1")
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    set(where "${file}:${lineno}")
    if(NOT line MATCHES "${pattern}")
      message(FATAL_ERROR "${where}: expected ${usage}")
    endif()
    cmake_language(CALL ${each})
  endforeach()
endmacro()
