# Fonts: fontconfig lists the installed fonts on Linux; GDI does on Windows.
# The shell opens help files on Windows; OLE makes the button faces' pictures.
if(WIN32)
  target_link_libraries(${PELORANT_TARGET} ${PELORANT_SCOPE} gdi32 shell32 oleaut32 ole32 uuid)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(PELORANT_FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
  target_link_libraries(${PELORANT_TARGET} ${PELORANT_SCOPE} PkgConfig::PELORANT_FONTCONFIG)
endif()
