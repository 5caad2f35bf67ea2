# pelorant_area(NAME DIR [DEPS targets...])
#
# Builds the library pelorant_NAME from DIR/*.cpp plus DIR/posix or DIR/win32
# (whichever matches the target), and on Linux DIR/pptx (the document host).
# Sub-folders that are areas of their own (engine/server) are not swept in:
# only the folder itself and its platform folder are globbed.
function(pelorant_area name dir)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  pelorant_layer(${name} ${dir} DEPS ${A_DEPS})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  file(GLOB plat CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/${PELORANT_PLATFORM}/*.cpp)
  list(APPEND srcs ${plat})
  if(WIN32)
    file(GLOB extra CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/com/*.cpp
                                      ${CMAKE_SOURCE_DIR}/${dir}/dispatch/*.cpp)
  else()
    file(GLOB extra CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/pptx/*.cpp)
  endif()
  list(APPEND srcs ${extra})
  set(target pelorant_${name})
  if(srcs)
    add_library(${target} STATIC ${srcs})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
    target_link_libraries(${target} PUBLIC ${A_DEPS})
    set(scope PUBLIC)
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
    target_link_libraries(${target} INTERFACE ${A_DEPS})
    set(scope INTERFACE)
  endif()
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/deps.cmake)
    # Per-area external libraries (libzip, pugixml, fontconfig ...) live
    # beside the sources so that an area owns its own dependencies.
    set(PELORANT_TARGET ${target})
    set(PELORANT_SCOPE ${scope})
    include(${CMAKE_SOURCE_DIR}/${dir}/deps.cmake)
  endif()
endfunction()

# pelorant_layer(NAME DIR [DEPS targets...])
#
# Records that the folder DIR belongs to the library pelorant_NAME and which
# libraries it links, so that the include-edge check can hold every folder
# to the libraries below it. pelorant_area calls it; libraries built by hand
# (engines, the program) call it themselves.
function(pelorant_layer name dir)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  set(deps)
  foreach(dep ${A_DEPS})
    string(REGEX REPLACE "^pelorant_" "" dep ${dep})
    list(APPEND deps ${dep})
  endforeach()
  string(REPLACE ";" "," deps "${deps}")
  set_property(GLOBAL APPEND PROPERTY PELORANT_LAYERS "${name}:${dir}:${deps}")
endfunction()

# pelorant_include_edge_test() : after every layer is recorded, writes the
# layer table and adds the ctest entry that fails on an include of a layer
# the including folder does not link (directly or through what it links).
function(pelorant_include_edge_test)
  get_property(layers GLOBAL PROPERTY PELORANT_LAYERS)
  string(REPLACE ";" "\n" table "${layers}")
  file(WRITE ${CMAKE_BINARY_DIR}/include-layers.txt "${table}\n")
  add_test(NAME include_edges COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
           -DLAYERS=${CMAKE_BINARY_DIR}/include-layers.txt -P ${CMAKE_SOURCE_DIR}/cmake/CheckIncludeEdges.cmake)
endfunction()

# pelorant_test(NAME DIR LIBS...) : one GoogleTest binary per test folder, a
# single ctest entry (Wine starts are slow, so no per-case discovery).
function(pelorant_test name dir)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(test_${name} ${srcs})
  target_include_directories(test_${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(test_${name} PRIVATE ${ARGN} pelorant_test_common GTest::gtest GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND test_${name})
  if(WIN32)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "PELORANT_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  else()
    # A registry and configuration folder of the suite's own: a test that
    # forgets to set its own never reaches the user's, nor another suite's
    # running at the same time.
    set(state ${CMAKE_BINARY_DIR}/test-state/${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT
      "PELORANT_TEST_SOURCE_DIR=${CMAKE_SOURCE_DIR};PELORANT_REGISTRY=${state}/registry;XDG_CONFIG_HOME=${state}/config")
  endif()
endfunction()
