# Configures and builds the probe project with good and bad page images.
file(LOCK "${WORK_DIR}.lock") # one run at a time in a build
file(REMOVE_RECURSE "${WORK_DIR}")
set(build "${WORK_DIR}/build")
set(at "${WORK_DIR}/")

# Writes WORK_DIR/<name>: <fill> up to the marker at 0x5000, then <tail>.
function(write_image name fill tail)
  string(REPEAT "${fill}" 20480 head)
  file(WRITE "${WORK_DIR}/${name}" "${head}${tail}")
endfunction()

# Configures with <page0> <page1>, or builds when empty: passes, or fails printing <message>.
function(expect message page0 page1)
  set(command ${CMAKE_COMMAND} --build ${build})
  if(page0)
    set(command ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR}/probe -B ${build} -G ${GENERATOR_NAME}
        -DCIFLASH_ROOT=${CIFLASH_ROOT} -DPAGE0=${at}${page0} -DPAGE1=${at}${page1})
  endif()
  execute_process(COMMAND ${command} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REGEX REPLACE "[ \n]+" " " flat "${out}")
  string(FIND "${flat}" "${message}" found)
  if((message STREQUAL "" AND NOT result EQUAL 0) OR (NOT message STREQUAL "" AND (result EQUAL 0 OR found EQUAL -1)))
    message(SEND_ERROR "${page0} ${page1}: result ${result}, expected '${message}':\n${out}")
  endif()
endfunction()

write_image(good0.bin "." "ZOL0") # exactly 0x5004 bytes, the least an image can hold
write_image(good1.bin "." "ZOL1")
write_image(short0.bin "." "ZOL") # 0x5003 bytes
write_image(late1.bin "." ".ZOL1") # marker one byte after 0x5000
write_image(page0.bin "." "ZOL0") # rewritten between builds
expect("Page 0 image ${at}short0.bin holds 20483 bytes; a page image needs at least 20484 (0x5004)" short0.bin good1.bin)
expect("Page 1 image ${at}late1.bin has 2E 5A 4F 4C at 0x5000 instead of its marker \"ZOL1\" (5A 4F 4C 31)." good0.bin late1.bin)
file(COPY_FILE "${CIFLASH_ROOT}/protocol/images/standin_page1.bin" "${at}renamed1.bin")
expect("Page 1 image ${at}renamed1.bin is the stand-in image" good0.bin renamed1.bin)
expect("Page 1 image ${at}good0.bin has 5A 4F 4C 30 at 0x5000" good0.bin good0.bin)
expect("Page 1 image ${at}none.bin does not exist." good0.bin none.bin)
expect("" page0.bin good1.bin)
expect("" "" "")
write_image(page0.bin "." "ZOL")
expect("Page 0 image ${at}page0.bin holds 20483 bytes" "" "")
write_image(page0.bin "A" "ZOL0")
expect("" "" "")
file(STRINGS "${build}/probe_images/page_image_0.cpp" new_bytes REGEX "0x41,0x41,")
if(NOT new_bytes)
  message(SEND_ERROR "the replaced page 0 image was not compiled in again")
endif()
