# How fast pelmorad ends on SIGTERM, against a process that only has to die.
if(TARGET pelmorad AND NOT WIN32)
  add_executable(bench_pelmorad_stop ${CMAKE_CURRENT_LIST_DIR}/pelmorad_stop.cpp)
  target_link_libraries(bench_pelmorad_stop PRIVATE pelmora_core)
  target_include_directories(bench_pelmorad_stop PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(bench_pelmorad_stop PRIVATE PELMORAD_PATH="$<TARGET_FILE:pelmorad>")
  add_dependencies(bench_pelmorad_stop pelmorad)
endif()
