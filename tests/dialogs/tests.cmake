# The Options and About dialogs and the dialog layer under them, on Qt's offscreen platform.
if(PELMORA_GUI_QT)
  find_package(Qt6 COMPONENTS Test REQUIRED)
  set(dialog_tests
    ${CMAKE_CURRENT_LIST_DIR}/gui_test_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialog_layer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options_dialog_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/about_dialog_test.cpp)
  # OK followed by a reconnect, on a pseudo-terminal (the POSIX serial layer's test helpers).
  if(UNIX AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/../posix/pty.h)
    list(APPEND dialog_tests ${CMAKE_CURRENT_LIST_DIR}/options_reconnect_test.cpp)
  endif()
  pelmora_add_test(dialogs_test ${dialog_tests} LABELS dialogs gui LIBS pelmora_dialogs Qt6::Test)
endif()
