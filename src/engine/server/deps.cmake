# The COM adapters of the Windows build talk to the engine servers through
# ole32/oleaut32.
if(WIN32)
  target_link_libraries(${PELORANT_TARGET} ${PELORANT_SCOPE} ole32 oleaut32 uuid)
endif()
