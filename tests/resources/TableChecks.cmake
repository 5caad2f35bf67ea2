# The message-id header's generator refuses string tables that would give a
# string two names or load it under different names per language; a good
# pair gives one constant per string.
# cmake -DGENERATOR=GenerateResources.cmake -DWORK=folder -P TableChecks.cmake
cmake_minimum_required(VERSION 3.25)
file(MAKE_DIRECTORY "${WORK}")
set(good "101\tUiLanguage\tja\n1251\tEngineInitFailed\tx\n1252\tEngineListFailed\ty\n")

# name | first table | second table | what the generator must say (empty: it succeeds)
set(cases
  "same names|${good}|${good}|"
  "renamed|${good}|101\tUiLanguage\ten\n1251\tEngineOpenFailed\tx\n1252\tEngineListFailed\ty\n|string 1251 is named EngineOpenFailed"
  "missing|${good}|101\tUiLanguage\ten\n1251\tEngineInitFailed\tx\n|does not hold the same ids"
  "two names|101\tUiLanguage\tja\n1251\tFailed\tx\n1252\tFailed\ty\n|${good}|the name Failed is taken by string 1251"
  "no name|101\tja\n|${good}|expected <id><TAB><Name><TAB><text>")
set(failures 0)
foreach(row IN LISTS cases)
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 name)
  list(GET row 1 first)
  list(GET row 2 second)
  list(LENGTH row n)
  set(expected "")
  if(n GREATER 3)
    list(GET row 3 expected)
  endif()
  file(WRITE "${WORK}/first.txt" "${first}")
  file(WRITE "${WORK}/second.txt" "${second}")
  file(REMOVE "${WORK}/ids.h")
  execute_process(COMMAND ${CMAKE_COMMAND} -DMODE=ids -DSTRINGS=${WORK}/first.txt -DOTHER_STRINGS=${WORK}/second.txt
                          -DOUTPUT=${WORK}/ids.h -P ${GENERATOR}
                  RESULT_VARIABLE rc ERROR_VARIABLE said OUTPUT_QUIET)
  string(REGEX REPLACE "[ \n]+" " " said "${said}")
  if(expected STREQUAL "")
    file(READ "${WORK}/ids.h" header)
    if(NOT rc EQUAL 0 OR NOT header MATCHES "inline constexpr int kEngineInitFailed = 1251;")
      message(SEND_ERROR "${name}: no header with kEngineInitFailed: ${said}")
    endif()
  elseif(rc EQUAL 0 OR NOT said MATCHES "${expected}")
    message(SEND_ERROR "${name}: expected a refusal saying \"${expected}\", got ${rc}: ${said}")
  endif()
endforeach()
