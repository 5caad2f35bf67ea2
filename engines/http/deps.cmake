# The registration object must reach every program that links the engine,
# though nothing calls into it.
target_link_options(pelorant_http_engine INTERFACE "LINKER:--undefined=pelorant_http_server_anchor")

# The transport is Debian's libcurl (libcurl4-openssl-dev); answers are read
# with nlohmann-json (nlohmann-json3-dev).
find_package(CURL REQUIRED)
find_package(nlohmann_json REQUIRED)
target_link_libraries(pelorant_http_engine PRIVATE CURL::libcurl nlohmann_json::nlohmann_json)
