# The I/O ports go through the InpOut driver's DLL, loaded at run time, so nothing of it is
# linked.
add_library(ciflash_ports_windows STATIC
  ${CMAKE_CURRENT_LIST_DIR}/port_windows_io.cpp
  ${CMAKE_CURRENT_LIST_DIR}/port_access_windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reader_lock_windows.cpp)
add_library(ciflash_ports_os ALIAS ciflash_ports_windows)

add_library(ciflash_os_clock STATIC ${CMAKE_CURRENT_LIST_DIR}/os_clock_windows.cpp)

add_library(ciflash_tick_os STATIC ${CMAKE_CURRENT_LIST_DIR}/tick_os.cpp)
target_link_libraries(ciflash_tick_os PUBLIC ciflash_os_clock)

add_library(ciflash_console_windows STATIC
  ${CMAKE_CURRENT_LIST_DIR}/console_windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/process_windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/process_exit.cpp)
add_library(ciflash_console_os ALIAS ciflash_console_windows)
