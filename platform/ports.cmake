# The reader's lock keeps a second ciflash off the ports.
# Capabilities are handled with the raw capget/capset system calls: no libcap.
add_library(ciflash_ports_linux STATIC
  ${CMAKE_CURRENT_LIST_DIR}/port_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/port_access_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reader_lock_linux.cpp)

add_library(ciflash_os_clock STATIC ${CMAKE_CURRENT_LIST_DIR}/os_clock_linux.cpp)

add_library(ciflash_tick_os STATIC ${CMAKE_CURRENT_LIST_DIR}/tick_os.cpp)
target_link_libraries(ciflash_tick_os PUBLIC ciflash_os_clock)
