# The tray program. Its classes form a library that the GUI tests link with their own globals.
add_library(pelmora_app STATIC
  ${CMAKE_CURRENT_LIST_DIR}/pelmora.cpp ${CMAKE_CURRENT_LIST_DIR}/pelmora.h
  ${CMAKE_CURRENT_LIST_DIR}/main_frame.cpp ${CMAKE_CURRENT_LIST_DIR}/main_frame.h
  ${CMAKE_CURRENT_LIST_DIR}/child_view.cpp ${CMAKE_CURRENT_LIST_DIR}/child_view.h)
target_link_libraries(pelmora_app PUBLIC pelmora_core pelmora_ui pelmora_res pelmora_dialogs)

add_executable(pelmora ${CMAKE_CURRENT_LIST_DIR}/main.cpp ${CMAKE_CURRENT_LIST_DIR}/the_app.cpp
                       ${CMAKE_CURRENT_LIST_DIR}/command_line.cpp
                       ${CMAKE_CURRENT_LIST_DIR}/exit_on_session_end.cpp)
target_link_libraries(pelmora PRIVATE pelmora_app)
if(WIN32)
  # A tray program opens no console window; the resource script (through pelmora_res) gives the
  # .exe its icon, dialogs and version information.
  set_target_properties(pelmora PROPERTIES WIN32_EXECUTABLE ON)
endif()
