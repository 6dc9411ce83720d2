# Typing into a Wayland client on a private headless sway: Pelmora's virtual keyboard against
# wtype, and scan-to-typed overhead; the same into an X client on that sway's Xwayland.
if(PELMORA_HAVE_WAYLAND AND TARGET pelmora-wreceiver AND TARGET pelmorad AND
   TARGET pelmora-xreceiver)
  add_executable(bench_wayland_typing ${CMAKE_CURRENT_LIST_DIR}/wayland_typing.cpp
                                      ${PROJECT_SOURCE_DIR}/tests/wayland/sway_session.cpp
                                      ${PROJECT_SOURCE_DIR}/tests/x11/x_session.cpp)
  target_link_libraries(bench_wayland_typing PRIVATE pelmora_core)
  target_include_directories(bench_wayland_typing PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(bench_wayland_typing PRIVATE
    PELMORA_WRECEIVER="$<TARGET_FILE:pelmora-wreceiver>"
    PELMORA_XRECEIVER="$<TARGET_FILE:pelmora-xreceiver>"
    PELMORA_PELMORAD="$<TARGET_FILE:pelmorad>")
  add_dependencies(bench_wayland_typing pelmora-wreceiver pelmora-xreceiver pelmorad)
endif()
