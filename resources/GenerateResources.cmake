# Turns the string tables and the version block into what each build needs:
#   MODE=cpp  the add-in's own strings and version block as C++ tables
#   MODE=rc   a resource script (STRINGTABLE + VERSIONINFO) for windres
#   MODE=res  the Linux resource module file read by posix/ResourceModules.cpp
#   MODE=ids  the header of message ids (resources/MessageIds.h), one
#             constant k<Name> per string
#
# cmake -DMODE=... -DSTRINGS=table.txt -DVERSION_FILE=version.txt -DOUTPUT=file
#       [-DVER_<Name>=value ...] [-DFILE_TYPE=dll|app] [-DRC_LANGUAGE="0x11, 1"]
#       [-DRC_INCLUDE=Dialogs.rc] -P GenerateResources.cmake
# cmake -DMODE=ids -DSTRINGS=table.txt -DOTHER_STRINGS=table.txt -DOUTPUT=file
#       -P GenerateResources.cmake
# RC_INCLUDE (MODE=rc) adds a further script, such as the dialog templates,
# under the same LANGUAGE statement. OTHER_STRINGS (MODE=ids) is a table in
# another language that must hold the same ids under the same names.
#
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/GenerateCommon.cmake)

require_arguments(GenerateResources MODE STRINGS OUTPUT)
if(MODE STREQUAL "ids")
  require_arguments(GenerateResources OTHER_STRINGS)
else()
  require_arguments(GenerateResources VERSION_FILE)
endif()

# Escapes allowed in the tables: \n \r \t \\ (the same as C's).
function(check_escapes where text)
  string(REGEX REPLACE "\\\\[nrt\\\\]" "" stripped "${text}")
  if(stripped MATCHES "\\\\")
    message(FATAL_ERROR "${where}: unknown escape in \"${text}\" (use \\n \\r \\t \\\\)")
  endif()
endfunction()

# One record of a string table (foreach_record's `each`).
macro(read_string_record)
  set(id "${CMAKE_MATCH_1}")
  set(name "${CMAKE_MATCH_2}")
  set(text "${CMAKE_MATCH_3}")
  if(id GREATER 65535)
    message(FATAL_ERROR "${where}: string id ${id} is above 65535")
  endif()
  if(DEFINED STR_${id})
    message(FATAL_ERROR "${where}: string id ${id} appears twice")
  endif()
  if(DEFINED ID_OF_${name})
    message(FATAL_ERROR "${where}: the name ${name} is taken by string ${ID_OF_${name}}")
  endif()
  check_escapes("${where}" "${text}")
  set(STR_${id} "${text}")
  set(NAME_${id} "${name}")
  set(ID_OF_${name} ${id})
  list(APPEND read_ids ${id})
endmacro()

# Reads a string table: its ids sorted into `ids_out`; for each id, its text
# (escaped form) in STR_<id> and its name in NAME_<id>, in the caller's scope.
macro(read_strings file ids_out)
  read_lines("${file}" lines)
  set(read_ids "")
  foreach_record("${file}" lines "^([0-9]+)\t([A-Z][A-Za-z0-9]*)\t(.*)$" "<id><TAB><Name><TAB><text>"
                 read_string_record)
  list(SORT read_ids COMPARE NATURAL)
  set(${ids_out} "${read_ids}")
endmacro()

# The header of ids, checked against the other language's table: a string
# one table lacks or names differently would load as nothing or under the
# wrong constant in that language only.
function(write_ids_header)
  read_strings("${STRINGS}" ids)
  foreach(id IN LISTS ids)
    set(name_${id} "${NAME_${id}}")
    unset(STR_${id})
    unset(ID_OF_${NAME_${id}})
  endforeach()
  read_strings("${OTHER_STRINGS}" other_ids)
  if(NOT ids STREQUAL other_ids)
    message(FATAL_ERROR "${OTHER_STRINGS} does not hold the same ids as ${STRINGS}")
  endif()
  foreach(id IN LISTS ids)
    if(NOT NAME_${id} STREQUAL name_${id})
      message(FATAL_ERROR "${OTHER_STRINGS}: string ${id} is named ${NAME_${id}}, in ${STRINGS} ${name_${id}}")
    endif()
  endforeach()
  set(out "// Generated from ${STRINGS}; edit that instead.\n")
  string(APPEND out "// The id of every string of the tables, one name each.\n#pragma once\n\nnamespace resources::msg {\n\n")
  foreach(id IN LISTS ids)
    string(APPEND out "inline constexpr int k${name_${id}} = ${id};\n")
  endforeach()
  string(APPEND out "\n}  // namespace resources::msg\n")
  write_generated("${OUTPUT}" "${out}")
endfunction()

if(MODE STREQUAL "ids")
  write_ids_header()
  return()
endif()

read_strings("${STRINGS}" ids)

# Version block: names in file order, value of each in VER_<name>; values
# given on the command line win.
read_lines("${VERSION_FILE}" lines)
set(names "")
macro(read_version_record)
  list(APPEND names ${CMAKE_MATCH_1})
  if(NOT DEFINED VER_${CMAKE_MATCH_1})
    set(VER_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  endif()
endmacro()
foreach_record("${VERSION_FILE}" lines "^([A-Za-z]+)\t(.*)$" "<Name><TAB><value>" read_version_record)
set(translation "040904b0")

if(MODE STREQUAL "cpp")
  set(out "// Generated from ${STRINGS} and ${VERSION_FILE}; edit those instead.\n")
  string(APPEND out "#include \"resources/OwnResources.h\"\n\nnamespace resources {\nnamespace {\n")
  string(APPEND out "const StringEntry kStrings[] = {\n")
  foreach(id IN LISTS ids)
    string(REPLACE "\"" "\\\"" text "${STR_${id}}")
    restore("${text}" text)
    string(APPEND out "    {${id}, \"${text}\"},\n")
  endforeach()
  string(APPEND out "};\nconst VersionEntry kVersion[] = {\n")
  foreach(name IN LISTS names)
    string(REPLACE "\\" "\\\\" text "${VER_${name}}")
    string(REPLACE "\"" "\\\"" text "${text}")
    restore("${text}" text)
    string(APPEND out "    {\"${name}\", \"${text}\"},\n")
  endforeach()
  string(APPEND out "};\n}  // namespace\n\n")
  string(APPEND out "std::span<const StringEntry> OwnStrings() { return kStrings; }\n")
  string(APPEND out "std::span<const VersionEntry> OwnVersion() { return kVersion; }\n")
  string(APPEND out "const char* OwnVersionTranslation() { return \"${translation}\"; }\n\n}  // namespace resources\n")
elseif(MODE STREQUAL "rc")
  if(NOT DEFINED FILE_TYPE)
    set(FILE_TYPE dll)
  endif()
  string(REGEX REPLACE "[ ]" "" numeric "${VER_FileVersion}")
  string(REGEX REPLACE "[ ]" "" product_numeric "${VER_ProductVersion}")
  set(out "// Generated from ${STRINGS} and ${VERSION_FILE}; edit those instead.\n")
  if(NOT DEFINED RC_LANGUAGE)
    set(RC_LANGUAGE "0, 0")
  endif()
  string(APPEND out "#pragma code_page(65001)\n\nLANGUAGE ${RC_LANGUAGE}\n\nSTRINGTABLE\nBEGIN\n")
  foreach(id IN LISTS ids)
    string(REPLACE "\"" "\"\"" text "${STR_${id}}")
    restore("${text}" text)
    string(APPEND out "  ${id}, \"${text}\"\n")
  endforeach()
  string(APPEND out "END\n\n1 VERSIONINFO\nFILEVERSION ${numeric}\nPRODUCTVERSION ${product_numeric}\n")
  string(APPEND out "FILEFLAGSMASK 0x3fL\nFILEFLAGS 0x0L\nFILEOS 0x40004L\n")
  if(FILE_TYPE STREQUAL "dll")
    string(APPEND out "FILETYPE 0x2L\n")
  else()
    string(APPEND out "FILETYPE 0x1L\n")
  endif()
  string(APPEND out "FILESUBTYPE 0x0L\nBEGIN\n  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"${translation}\"\n    BEGIN\n")
  foreach(name IN LISTS names)
    string(REPLACE "\"" "\"\"" text "${VER_${name}}")
    restore("${text}" text)
    string(APPEND out "      VALUE \"${name}\", \"${text}\"\n")
  endforeach()
  string(APPEND out "    END\n  END\n  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\", 0x409, 1200\n  END\nEND\n")
  if(DEFINED RC_INCLUDE)
    string(APPEND out "\nLANGUAGE ${RC_LANGUAGE}\n#include \"${RC_INCLUDE}\"\n")
  endif()
elseif(MODE STREQUAL "res")
  set(out "PELORANT-RESOURCE-MODULE 1\n# Generated from ${STRINGS} and ${VERSION_FILE}; edit those instead.\n[StringTable]\n")
  foreach(id IN LISTS ids)
    restore("${STR_${id}}" text)
    string(APPEND out "${id}\t${text}\n")
  endforeach()
  string(APPEND out "[VersionInfo]\nTranslation\t${translation}\n")
  foreach(name IN LISTS names)
    string(REPLACE "\\" "\\\\" text "${VER_${name}}")
    restore("${text}" text)
    string(APPEND out "${name}\t${text}\n")
  endforeach()
else()
  message(FATAL_ERROR "GenerateResources: unknown MODE ${MODE}")
endif()

write_generated("${OUTPUT}" "${out}")
