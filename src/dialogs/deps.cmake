# The Windows dialog views use the common controls and the colour chooser.
if(WIN32)
  target_link_libraries(${PELORANT_TARGET} ${PELORANT_SCOPE} comctl32 comdlg32 gdi32)
endif()
