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

# The whole reader: pseudo-terminal -> pelmorad.exe -> SendInput -> a focused window under Xvfb.
if(TARGET pelmorad)
  pelmora_add_wine_test(win32_typing_pelmorad
                        COMMAND ${wine_harness} typing --window $<TARGET_FILE:typing_target>
                                --reader $<TARGET_FILE:pelmorad> --opened "opened COM1" -- -v
                        LABELS win32 e2e)
endif()
