# Runs the stand-in generator into WORK_DIR: its output must be the committed images PAGE0, PAGE1.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND ${EMULATOR} "${GENERATOR}" "${WORK_DIR}" COMMAND_ERROR_IS_FATAL ANY)
foreach(page 0 1)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${PAGE${page}}"
                  "${WORK_DIR}/standin_page${page}.bin" RESULT_VARIABLE differs)
  if(differs)
    message(SEND_ERROR "${PAGE${page}} differs from the generator's output")
  endif()
endforeach()
