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
add_executable(post_message win32/post_message.cpp)
target_link_libraries(post_message PRIVATE pelmora_options)

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
  # A scanner plugged in 3 s after the start is opened without a reconnect request.
  pelmora_add_wine_test(win32_typing_pelmorad_late
                        COMMAND ${wine_harness} typing --window $<TARGET_FILE:typing_target>
                                --reader $<TARGET_FILE:pelmorad> --late 3 --random-bytes 40 -- -v
                        LABELS win32 e2e)
  # COM1's pseudo-terminal goes away and comes back while pelmorad.exe reads it.
  pelmora_add_wine_test(win32_unplug_pelmorad
                        COMMAND ${wine_harness} unplug --reader $<TARGET_FILE:pelmorad>
                        LABELS win32 serial)
endif()

# The tray program's windowing layer and shell on real windows: Xvfb with openbox and trayer,
# COM1 a pseudo-terminal (wine_harness.py desktop).
if(PELMORA_GUI_BACKEND STREQUAL "WIN32")
  add_executable(win32_shell_layer_test win32/shell_layer_test.cpp)
  target_link_libraries(win32_shell_layer_test PRIVATE pelmora_ui pelmora_res
                                                       ${PELMORA_GTEST_MAIN})
  pelmora_add_wine_test(win32_shell_layer
                        COMMAND ${wine_harness} desktop $<TARGET_FILE:win32_shell_layer_test>
                        LABELS win32 shell)
endif()
if(PELMORA_GUI_BACKEND STREQUAL "WIN32" AND TARGET pelmora_app)
  # With the program's own session-end hook.
  add_executable(win32_shell_app_test win32/shell_app_test.cpp
                                      ${PROJECT_SOURCE_DIR}/app/exit_on_session_end.cpp)
  target_link_libraries(win32_shell_app_test PRIVATE pelmora_app ${PELMORA_GTEST_MAIN})
  target_include_directories(win32_shell_app_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  pelmora_add_wine_test(win32_shell_tray
                        COMMAND ${wine_harness} desktop --tray $<TARGET_FILE:win32_shell_app_test>
                                --gtest_filter=Shell.*
                        LABELS win32 shell)
  pelmora_add_wine_test(win32_shell_session_end
                        COMMAND ${wine_harness} desktop --tray $<TARGET_FILE:win32_shell_app_test>
                                --gtest_filter=SessionEnd.*
                        LABELS win32 shell)
  # The installed program end to end: pelmora.exe on COM1 (a pseudo-terminal) types scans into a
  # focused window; Exit from its tray menu ends it.
  if(TARGET pelmora)
    pelmora_add_wine_test(win32_tray_typing
                          COMMAND ${wine_harness} tray-typing --window $<TARGET_FILE:typing_target>
                                  --program $<TARGET_FILE:pelmora>
                                  --post $<TARGET_FILE:post_message>
                          LABELS win32 shell e2e)
    # A second start hands over to the running copy.
    pelmora_add_wine_test(win32_second_start
                          COMMAND ${wine_harness} second-start --program $<TARGET_FILE:pelmora>
                          LABELS win32 shell)
  endif()
  # The manifest and icons read out of the program itself: Wine's comctl32 works without the
  # manifest, and Wine neither scales nor picks icon sizes, so no run under it would notice.
  if(TARGET pelmora)
    add_test(NAME win32_manifest
             COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/win32/manifest_check.py
                     $<TARGET_FILE:pelmora>)
    set_tests_properties(win32_manifest PROPERTIES LABELS "win32;resources")
  endif()
  pelmora_add_wine_test(win32_shell_no_tray
                        COMMAND ${wine_harness} desktop $<TARGET_FILE:win32_shell_app_test>
                                --gtest_filter=NoTray.*
                        LABELS win32 shell)
endif()
