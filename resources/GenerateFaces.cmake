# Turns the button-face drawings (faces/*.svg, listed in faces/Faces.txt)
# into what each build needs:
#   MODE=rc   a resource script with an ICON and two BITMAPs (picture, mask)
#             per face, for the DLL
#   MODE=cpp  the same pictures as C++ tables of 0xAARRGGBB pixels (EMBED=ON),
#             for programs whose modules carry no resources; EMBED=OFF gives
#             empty tables
#
# cmake -DMODE=... -DTABLE=Faces.txt -DWORK_DIR=dir -DOUTPUT=file -DRSVG=rsvg-convert
#       -DCONVERT=convert [-DEMBED=ON] -P GenerateFaces.cmake
#
# A mask is black where the face is drawn and white where the button shows
# through, as the host's Mask property takes it; the picture is the drawing
# on white.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/GenerateCommon.cmake)

require_arguments(GenerateFaces MODE TABLE WORK_DIR OUTPUT RSVG CONVERT)

get_filename_component(source_dir "${TABLE}" DIRECTORY)
file(MAKE_DIRECTORY "${WORK_DIR}")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " shown "${ARGN}")
    message(FATAL_ERROR "GenerateFaces: '${shown}' failed: ${err}")
  endif()
endfunction()

# The pixels of a raw RGBA file as C++ initialisers, 0xAARRGGBB.
function(pixels_of file out)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" length)
  if(NOT length EQUAL 2048)
    message(FATAL_ERROR "GenerateFaces: ${file} is not 16x16 RGBA")
  endif()
  set(text "")
  set(count 0)
  foreach(at RANGE 0 2047 8)
    string(SUBSTRING "${hex}" ${at} 6 rgb)
    math(EXPR a_at "${at} + 6")
    string(SUBSTRING "${hex}" ${a_at} 2 alpha)
    string(APPEND text "0x${alpha}${rgb}u,")
    math(EXPR count "${count} + 1")
    math(EXPR column "${count} % 8")
    if(column EQUAL 0)
      string(APPEND text "\n    ")
    endif()
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(kind_icon true)
set(kind_picture false)
set(kind_mask false)
set(rc "// Generated from ${TABLE}; do not edit.\n")
set(tables "")
set(entries "")
macro(generate_face)
  set(name ${CMAKE_MATCH_1})
  set(icon ${CMAKE_MATCH_2})
  set(picture ${CMAKE_MATCH_3})
  set(mask ${CMAKE_MATCH_4})
  set(base "${WORK_DIR}/${name}")
  run("${RSVG}" -w 16 -h 16 "${source_dir}/${name}.svg" -o "${base}.png")
  run("${CONVERT}" "${base}.png" -background white -alpha remove -alpha off -type TrueColor "BMP3:${base}-picture.bmp")
  run("${CONVERT}" "${base}.png" -alpha extract -threshold 50% -negate -type TrueColor "BMP3:${base}-mask.bmp")
  if(MODE STREQUAL "rc")
    run("${CONVERT}" "${base}.png" "${base}.ico")
    string(APPEND rc "${icon} ICON \"${base}.ico\"\n${picture} BITMAP \"${base}-picture.bmp\"\n"
                     "${mask} BITMAP \"${base}-mask.bmp\"\n")
  elseif(EMBED)
    run("${CONVERT}" "${base}-picture.bmp" -depth 8 "rgba:${base}-picture.rgba")
    run("${CONVERT}" "${base}-mask.bmp" -depth 8 "rgba:${base}-mask.rgba")
    run("${CONVERT}" "${base}.png" -depth 8 "rgba:${base}-icon.rgba")
    foreach(kind icon picture mask)
      pixels_of("${base}-${kind}.rgba" pixels)
      string(MAKE_C_IDENTIFIER "${name}_${kind}" id)
      string(APPEND tables "const std::uint32_t k_${id}[] = {\n    ${pixels}};\n")
      string(APPEND entries "    {${${kind}}, ${kind_${kind}}, 16, 16, k_${id}},\n")
    endforeach()
  endif()
endmacro()
read_lines("${TABLE}" lines)
foreach_record("${TABLE}" lines "^([a-z-]+)\t([0-9]+)\t([0-9]+)\t([0-9]+)$" "<name><TAB><icon><TAB><picture><TAB><mask>"
               generate_face)

if(MODE STREQUAL "rc")
  set(content "${rc}")
elseif(MODE STREQUAL "cpp")
  if(entries STREQUAL "")
    set(entries "    {0, false, 0, 0, nullptr},\n")
    set(last "0")
  else()
    set(last "std::size(kFaces)")
  endif()
  set(content "// Generated from ${TABLE}; do not edit.
#include <cstdint>
#include <iterator>

#include \"resources/OwnResources.h\"

namespace resources {
namespace {
${tables}
const PictureEntry kFaces[] = {
${entries}};
}  // namespace

std::span<const PictureEntry> OwnPictures() { return {kFaces, ${last}}; }

}  // namespace resources
")
else()
  message(FATAL_ERROR "GenerateFaces: unknown MODE ${MODE}")
endif()
write_generated("${OUTPUT}" "${content}")
