# ciflash_check_page_image(<file> <page> [STANDIN])
# Stops with a message naming the file when it cannot be the image of flash page <page> (0 or
# 1): the image must carry its marker "ZOL<page>" at byte offset 0x5000, so it holds at least
# 0x5004 bytes. Unless STANDIN is given, it must also differ from the stand-in image of that
# page in protocol/images/ (compared by content, whatever the file is called): pseudo-random
# bytes never go to a module. Used at configure time and again by the build step that
# compiles an image in.
include_guard(GLOBAL)

function(ciflash_check_page_image file page)
  cmake_parse_arguments(PARSE_ARGV 2 arg "STANDIN" "" "")
  set(marker_offset 20480) # 0x5000
  math(EXPR min_size "${marker_offset} + 4")
  set(marker "ZOL${page}")
  if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
    message(FATAL_ERROR "Page ${page} image ${file} does not exist.")
  endif()
  file(SIZE "${file}" size)
  if(size LESS min_size)
    message(FATAL_ERROR "Page ${page} image ${file} holds ${size} bytes; a page image needs at "
                        "least ${min_size} (0x5004) to carry its marker \"${marker}\" at 0x5000.")
  endif()
  file(READ "${file}" found OFFSET ${marker_offset} LIMIT 4 HEX)
  string(HEX "${marker}" expected)
  if(NOT found STREQUAL expected)
    foreach(bytes IN ITEMS found expected)
      string(TOUPPER "${${bytes}}" ${bytes})
      string(REGEX REPLACE "(..)(..)(..)(..)" "\\1 \\2 \\3 \\4" ${bytes} "${${bytes}}")
    endforeach()
    message(FATAL_ERROR "Page ${page} image ${file} has ${found} at 0x5000 instead of its marker "
                        "\"${marker}\" (${expected}).")
  endif()
  if(NOT arg_STANDIN)
    file(SHA256 "${file}" given)
    file(SHA256 "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../protocol/images/standin_page${page}.bin"
         standin)
    if(given STREQUAL standin)
      message(FATAL_ERROR "Page ${page} image ${file} is the stand-in image of the tests "
                          "(pseudo-random bytes), not firmware: give the module's page ${page} "
                          "image.")
    endif()
  endif()
endfunction()
