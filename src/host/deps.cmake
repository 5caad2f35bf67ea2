# The document host reads packages with libzip (inflating parts with
# libdeflate) and pugixml and measures text with FreeType through
# fontconfig; only the Linux build has it.
if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(PELORANT_PPTX REQUIRED IMPORTED_TARGET libzip zlib libdeflate pugixml freetype2 fontconfig)
  target_link_libraries(${PELORANT_TARGET} ${PELORANT_SCOPE} PkgConfig::PELORANT_PPTX)
endif()
# The IDispatch adapter talks OLE Automation and draws button faces.
if(WIN32)
  target_link_libraries(${PELORANT_TARGET} ${PELORANT_SCOPE} oleaut32 ole32 uuid gdi32)
endif()
