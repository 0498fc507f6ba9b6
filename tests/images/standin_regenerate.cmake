# Runs the stand-in generator into WORK_DIR and compares its output with the committed images
# PAGE0 and PAGE1: the committed files must be exactly what the generator makes.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND ${EMULATOR} "${GENERATOR}" "${WORK_DIR}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${GENERATOR} ${WORK_DIR} failed: ${result}")
endif()
foreach(page 0 1)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${PAGE${page}}"
                          "${WORK_DIR}/standin_page${page}.bin" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PAGE${page}} differs from the generator's standin_page${page}.bin")
  endif()
endforeach()
