# The headless program, its key sinks and the virtual scanner.
# Linux programs on pseudo-terminals; the Windows build checks pelmorad.exe under Wine (tests/win32).
if(WIN32)
  return()
endif()
pelmora_add_test(daemon_keys_test ${CMAKE_CURRENT_LIST_DIR}/keys_test.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/event_pacer_test.cpp LABELS daemon)

if(TARGET pelmorad)
  pelmora_add_test(daemon_pelmorad_test ${CMAKE_CURRENT_LIST_DIR}/pelmorad_test.cpp LABELS daemon)
  target_compile_definitions(daemon_pelmorad_test PRIVATE PELMORAD_PATH="$<TARGET_FILE:pelmorad>")
  add_dependencies(daemon_pelmorad_test pelmorad)
  # In a mount namespace of its own, where /dev/ttyS0 is one of its pseudo-terminals.
  pelmora_add_test(daemon_unreadable_settings_test
                   ${CMAKE_CURRENT_LIST_DIR}/unreadable_settings_test.cpp LABELS daemon pty)
  target_compile_definitions(daemon_unreadable_settings_test
                             PRIVATE PELMORAD_PATH="$<TARGET_FILE:pelmorad>")
  add_dependencies(daemon_unreadable_settings_test pelmorad)
  if(TARGET pelmora-vscan)
    target_compile_definitions(daemon_pelmorad_test
                               PRIVATE VSCAN_PATH="$<TARGET_FILE:pelmora-vscan>")
    add_dependencies(daemon_pelmorad_test pelmora-vscan)
  endif()
endif()

if(TARGET pelmora-vscan)
  pelmora_add_test(daemon_vscan_test ${CMAKE_CURRENT_LIST_DIR}/vscan_test.cpp LABELS daemon)
  target_compile_definitions(daemon_vscan_test
                             PRIVATE VSCAN_PATH="$<TARGET_FILE:pelmora-vscan>")
  add_dependencies(daemon_vscan_test pelmora-vscan)
endif()
