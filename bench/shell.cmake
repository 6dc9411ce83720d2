# Start-up and exit times of the tray program.
if(PELMORA_GUI_QT)
  add_executable(bench_shell_lifecycle ${CMAKE_CURRENT_LIST_DIR}/shell_lifecycle.cpp)
  target_link_libraries(bench_shell_lifecycle PRIVATE pelmora_app)
  target_include_directories(bench_shell_lifecycle PRIVATE ${PROJECT_SOURCE_DIR}/tests)
endif()
