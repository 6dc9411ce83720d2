# Typing throughput and errors against xdotool on a private Xvfb, and scan-to-typed overhead.
find_package(X11)
if(PELMORA_HAVE_X11 AND TARGET pelmora-xreceiver)
  add_executable(bench_typing ${CMAKE_CURRENT_LIST_DIR}/typing.cpp
                              ${PROJECT_SOURCE_DIR}/tests/x11/x_session.cpp)
  target_link_libraries(bench_typing PRIVATE pelmora_core)
  target_include_directories(bench_typing PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(bench_typing PRIVATE
    PELMORA_XRECEIVER="$<TARGET_FILE:pelmora-xreceiver>")
  add_dependencies(bench_typing pelmora-xreceiver)
endif()
if(TARGET bench_typing AND TARGET pelmorad)
  target_compile_definitions(bench_typing PRIVATE PELMORA_PELMORAD="$<TARGET_FILE:pelmorad>")
  add_dependencies(bench_typing pelmorad)
endif()
