# The registration object must reach every program that links the engine,
# though nothing calls into it.
target_link_options(pelorant_http_engine INTERFACE "LINKER:--undefined=pelorant_http_server_anchor")

# Answers are read with nlohmann-json (nlohmann-json3-dev). The transport is
# Debian's libcurl (libcurl4-openssl-dev) on Linux and WinHTTP on Windows.
if(WIN32)
  # The header-only library is the host's; its package would put the host's
  # whole /usr/include on the cross compiler's path, so only its own folder
  # is shown to it.
  find_path(PELORANT_NLOHMANN_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(nlohmann_only ${CMAKE_BINARY_DIR}/nlohmann-only)
  file(MAKE_DIRECTORY ${nlohmann_only})
  file(CREATE_LINK ${PELORANT_NLOHMANN_DIR}/nlohmann ${nlohmann_only}/nlohmann SYMBOLIC)
  target_include_directories(pelorant_http_engine SYSTEM PRIVATE ${nlohmann_only})
  target_link_libraries(pelorant_http_engine PRIVATE winhttp)
else()
  # libcurl is loaded by its run-time name when a client is first made
  # (HttpClientCurl.cpp says why); only its header is used at build time.
  find_package(CURL REQUIRED)
  find_package(nlohmann_json REQUIRED)
  target_include_directories(pelorant_http_engine SYSTEM PRIVATE ${CURL_INCLUDE_DIRS})
  target_link_libraries(pelorant_http_engine PRIVATE ${CMAKE_DL_LIBS} nlohmann_json::nlohmann_json)
endif()
