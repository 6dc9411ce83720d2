# Windows backends, run under Wine (see tools/wine). Only in the Windows presets.
if(NOT WIN32)
  return()
endif()

pelmora_add_test(win32_backend_test win32/win32_backend_test.cpp LABELS win32)

# Programs the Linux-side harness drives; each prints "done" when its part passed.
add_executable(serial_probe win32/serial_probe.cpp)
target_link_libraries(serial_probe PRIVATE pelmora_core)
add_executable(typing_target win32/typing_target.cpp)
target_link_libraries(typing_target PRIVATE pelmora_options)

set(wine_harness ${PROJECT_SOURCE_DIR}/tools/wine/wine-run
    ${CMAKE_CURRENT_SOURCE_DIR}/win32/wine_harness.py)

# COM1 on a pseudo-terminal: block splits, the silent read, a cancelled read.
pelmora_add_wine_test(win32_serial_com1 COMMAND ${wine_harness} serial $<TARGET_FILE:serial_probe>
                      LABELS win32 serial)
