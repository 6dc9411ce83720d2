# Tests of the tray program on Qt: offscreen ones in the unit suite, X server ones (Xvfb with a
# window manager and a tray host) under the label `gui`.
if(NOT PELMORA_GUI_QT)
  return()
endif()
find_package(Qt6 COMPONENTS Test REQUIRED)

function(pelmora_add_gui_exe name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE pelmora_app Qt6::Test)
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/..)
endfunction()

set(offscreen_env "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=qt.qpa.*=false")
set(xcb_env "QT_QPA_PLATFORM=xcb")
if(PELMORA_SANITIZE MATCHES "thread")
  set(tsan_env "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=${CMAKE_CURRENT_LIST_DIR}/tsan_qt.supp")
  list(APPEND offscreen_env "${tsan_env}")
endif()
if(PELMORA_SANITIZE MATCHES "address")
  list(APPEND xcb_env "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan_qt.supp")
endif()

pelmora_add_gui_exe(shell_test ${CMAKE_CURRENT_LIST_DIR}/shell_test.cpp
                    ${CMAKE_CURRENT_LIST_DIR}/gui_test_support.h)
add_test(NAME shell_test COMMAND shell_test)
set_tests_properties(shell_test PROPERTIES LABELS "unit;shell" ENVIRONMENT "${offscreen_env}"
                                           TIMEOUT 300)

pelmora_add_gui_exe(exit_test ${CMAKE_CURRENT_LIST_DIR}/exit_test.cpp)
foreach(from tray menu options)
  add_test(NAME exit_from_${from} COMMAND exit_test ${from})
  set_tests_properties(exit_from_${from} PROPERTIES LABELS "unit;shell"
                                          ENVIRONMENT "${offscreen_env}" TIMEOUT 120)
endforeach()

# On a private X server with openbox (tests/gui/xvfb_run.sh); the test starts the tray host.
# Not under ThreadSanitizer: the X client libraries lock in ways it cannot follow.
find_program(PELMORA_XVFB Xvfb)
if(PELMORA_XVFB AND NOT PELMORA_SANITIZE MATCHES "thread")
  pelmora_add_gui_exe(tray_test ${CMAKE_CURRENT_LIST_DIR}/tray_test.cpp)
  add_test(NAME tray_test COMMAND ${CMAKE_CURRENT_LIST_DIR}/xvfb_run.sh $<TARGET_FILE:tray_test>)
  set_tests_properties(tray_test PROPERTIES LABELS "gui" TIMEOUT 300
                                            ENVIRONMENT "${xcb_env}")
endif()

# The tray program itself, on the offscreen platform: --verbose says why the port is not open.
add_test(NAME pelmora_verbose COMMAND ${CMAKE_CURRENT_LIST_DIR}/verbose_test.sh
                                      $<TARGET_FILE:pelmora>)
set_tests_properties(pelmora_verbose PROPERTIES LABELS "unit;shell"
                                                ENVIRONMENT "${offscreen_env}" TIMEOUT 60)

# pelmora's own command line, with and without a display.
add_test(NAME pelmora_command_line COMMAND ${CMAKE_CURRENT_LIST_DIR}/command_line_test.sh
                                           $<TARGET_FILE:pelmora>)
set_tests_properties(pelmora_command_line PROPERTIES LABELS "unit;shell" TIMEOUT 120)

# A second start hands over to the running copy (on an X server with a tray host). Not under
# ThreadSanitizer either: Qt's X connection thread races as the quick second copy ends.
if(PELMORA_XVFB AND NOT PELMORA_SANITIZE MATCHES "thread")
  add_test(NAME pelmora_single_instance
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/xvfb_run.sh --tray
                   ${CMAKE_CURRENT_LIST_DIR}/single_instance_test.sh $<TARGET_FILE:pelmora>)
  set_tests_properties(pelmora_single_instance PROPERTIES LABELS "gui" TIMEOUT 120
                                                          ENVIRONMENT "${xcb_env}")
endif()
