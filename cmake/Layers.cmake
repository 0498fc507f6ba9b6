# ciflash_layer(TARGET FOLDER [SOURCES...]): the library of the layer in FOLDER, a static one
# with SOURCES, headers only without. Its one include directory holds FOLDER alone (a link in
# the build tree), so "FOLDER/x.h" resolves only in what links the layer: an include that runs
# up to a layer not linked fails to build.
function(ciflash_layer target folder)
  set(dir ${CMAKE_BINARY_DIR}/layers/${folder})
  file(MAKE_DIRECTORY ${dir})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${dir}/${folder} SYMBOLIC)
  if(ARGN)
    add_library(${target} STATIC ${ARGN})
    target_include_directories(${target} PUBLIC ${dir})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${dir})
  endif()
endfunction()
