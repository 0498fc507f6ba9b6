# ciflash_add_images(TARGET <name> [STANDIN] PAGE0 <file> PAGE1 <file>)
# Makes the static library <name> that defines page_image_0 and page_image_1 from two raw image
# files (relative names are taken from the calling directory); the stand-in images of the tests
# are refused unless STANDIN is given. Each image is checked here and
# again by the build step that turns it into a C++ array, which reruns whenever the image
# changes. The library records the two files in its properties CIFLASH_PAGE0_IMAGE and
# CIFLASH_PAGE1_IMAGE.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/PageImageCheck.cmake)

function(ciflash_add_images)
  cmake_parse_arguments(PARSE_ARGV 0 arg "STANDIN" "TARGET;PAGE0;PAGE1" "")
  if(NOT arg_TARGET OR NOT arg_PAGE0 OR NOT arg_PAGE1 OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR
            "usage: ciflash_add_images(TARGET <name> [STANDIN] PAGE0 <file> PAGE1 <file>)")
  endif()
  set(kind)
  if(arg_STANDIN)
    set(kind STANDIN)
  endif()
  set(script ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/embed_page_image.cmake)
  set(check ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/PageImageCheck.cmake)

  set(sources)
  foreach(page 0 1)
    cmake_path(ABSOLUTE_PATH arg_PAGE${page} BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE
               OUTPUT_VARIABLE image)
    ciflash_check_page_image("${image}" ${page} ${kind})
    set(source ${CMAKE_CURRENT_BINARY_DIR}/${arg_TARGET}/page_image_${page}.cpp)
    add_custom_command(
      OUTPUT ${source}
      COMMAND ${CMAKE_COMMAND} -DIMAGE=${image} -DPAGE=${page} -DKIND=${kind} -DOUTPUT=${source}
              -P ${script}
      DEPENDS ${image} ${script} ${check}
      COMMENT "Compiling in page ${page} image ${image}"
      VERBATIM)
    list(APPEND sources ${source})
    set(image${page} ${image})
  endforeach()

  add_library(${arg_TARGET} STATIC ${sources})
  set_target_properties(${arg_TARGET} PROPERTIES CIFLASH_PAGE0_IMAGE ${image0}
                                                 CIFLASH_PAGE1_IMAGE ${image1})
endfunction()
