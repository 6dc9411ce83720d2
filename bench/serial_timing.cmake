# Lateness of the termios serial reads against their ideal times, on a pseudo-terminal.
if(NOT WIN32)
  add_executable(bench_serial_timing ${CMAKE_CURRENT_LIST_DIR}/serial_timing.cpp)
  target_link_libraries(bench_serial_timing PRIVATE pelmora_core)
endif()
