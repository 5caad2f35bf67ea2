# The add-in's own strings and version block are compiled in.
target_link_libraries(${PELORANT_TARGET} ${PELORANT_SCOPE} pelorant_resources)
