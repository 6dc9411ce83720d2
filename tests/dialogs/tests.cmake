# The Options and About dialogs and the dialog layer under them, on Qt's offscreen platform.
if(PELMORA_HAVE_GUI)
  find_package(Qt6 COMPONENTS Test REQUIRED)
  pelmora_add_test(dialogs_test
    ${CMAKE_CURRENT_LIST_DIR}/gui_test_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialog_layer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options_dialog_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/about_dialog_test.cpp
    LABELS dialogs gui
    LIBS pelmora_dialogs Qt6::Test)
endif()
