# Configures and builds the probe project with page images that must pass and images that must
# be rejected, checking the outcome and the message of every run.
#   cmake -DCIFLASH_ROOT=<source root> -DPROBE_DIR=<probe project> -DWORK_DIR=<scratch dir>
#         -DGENERATOR_NAME=<CMake generator> -P images_rejected.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
set(build "${WORK_DIR}/build")

# Writes WORK_DIR/<name>: <fill> repeated up to the marker offset 0x5000, then <tail>.
function(write_image name fill tail)
  string(REPEAT "${fill}" 20480 head)
  file(WRITE "${WORK_DIR}/${name}" "${head}${tail}")
endfunction()

# Runs the command after the arguments <what> and <message>. An empty <message> expects
# success; otherwise the run must fail and print <message> (compared with blanks and line
# breaks collapsed, as CMake wraps its messages).
function(expect what message)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REGEX REPLACE "[ \n]+" " " flat "${out}")
  if(message STREQUAL "")
    if(NOT result EQUAL 0)
      message(SEND_ERROR "${what}: failed (${result}) where it should pass:\n${out}")
    endif()
  elseif(result EQUAL 0)
    message(SEND_ERROR "${what}: passed where it should fail with: ${message}")
  else()
    string(FIND "${flat}" "${message}" at)
    if(at EQUAL -1)
      message(SEND_ERROR "${what}: failed without the message: ${message}\n${out}")
    endif()
  endif()
endfunction()

function(expect_configure what message page0 page1)
  expect("${what}" "${message}" ${CMAKE_COMMAND} -S ${PROBE_DIR} -B ${build} -G ${GENERATOR_NAME}
         -DCIFLASH_ROOT=${CIFLASH_ROOT} -DPAGE0=${WORK_DIR}/${page0} -DPAGE1=${WORK_DIR}/${page1})
endfunction()

function(expect_build what message)
  expect("${what}" "${message}" ${CMAKE_COMMAND} --build ${build})
endfunction()

write_image(good0.bin "." "ZOL0") # exactly 0x5004 bytes, the least an image can hold
write_image(good1.bin "." "ZOL1")
write_image(short0.bin "." "ZOL") # 0x5003 bytes
write_image(late1.bin "." ".ZOL1") # marker one byte after 0x5000
write_image(page0.bin "." "ZOL0") # rewritten between builds

set(at "${WORK_DIR}/")
expect_configure("smallest images" "" good0.bin good1.bin)
expect_configure("short page 0 image" "Page 0 image ${at}short0.bin holds 20483 bytes; a page \
image needs at least 20484 (0x5004)" short0.bin good1.bin)
expect_configure("page 1 image as page 0" "Page 0 image ${at}good1.bin has 5A 4F 4C 31 at 0x5000 \
instead of its marker \"ZOL0\" (5A 4F 4C 30)." good1.bin good1.bin)
expect_configure("page 1 marker one byte late" "Page 1 image ${at}late1.bin has 2E 5A 4F 4C at \
0x5000 instead of its marker \"ZOL1\" (5A 4F 4C 31)." good0.bin late1.bin)
expect_configure("missing page 1 image" "Page 1 image ${at}missing.bin does not exist."
                 good0.bin missing.bin)

expect_configure("images for the builds" "" page0.bin good1.bin)
expect_build("build with good images" "")
write_image(page0.bin "." "ZOL")
expect_build("build after the page 0 image was cut short" "Page 0 image ${at}page0.bin holds \
20483 bytes")
write_image(page0.bin "A" "ZOL0")
expect_build("build after the page 0 image was replaced" "")
file(READ "${build}/probe_images/page_image_0.cpp" source)
string(FIND "${source}" "0x41,0x41," at_new_bytes)
if(at_new_bytes EQUAL -1)
  message(SEND_ERROR "the replaced page 0 image was not compiled in again")
endif()
