# Wayland typing: the fixed keymap through xkbcommon (no compositor), and the whole path into a
# client of ours on a private headless sway (skipped when sway is not installed).
if(WIN32 OR NOT PELMORA_HAVE_WAYLAND)
  return()
endif()
pelmora_add_test(wayland_keymap_test ${CMAKE_CURRENT_LIST_DIR}/wayland_keymap_test.cpp
                 LABELS wayland LIBS PkgConfig::XKBCOMMON)

if(TARGET pelmorad AND TARGET pelmora-wreceiver)
  add_executable(wayland_sway_test ${CMAKE_CURRENT_LIST_DIR}/wayland_sway_test.cpp
                                   ${CMAKE_CURRENT_LIST_DIR}/sway_session.cpp
                                   ${PROJECT_SOURCE_DIR}/tests/x11/x_session.cpp)
  target_link_libraries(wayland_sway_test PRIVATE pelmora_test_support GTest::gtest)
  # x_session.cpp is used for its process and pseudo-terminal helpers only.
  target_compile_definitions(wayland_sway_test PRIVATE
    PELMORA_WRECEIVER="$<TARGET_FILE:pelmora-wreceiver>" PELMORA_XRECEIVER="pelmora-xreceiver"
    PELMORA_PELMORAD="$<TARGET_FILE:pelmorad>")
  add_dependencies(wayland_sway_test pelmorad pelmora-wreceiver)
  add_test(NAME wayland_sway_test COMMAND wayland_sway_test)
  set_tests_properties(wayland_sway_test PROPERTIES LABELS "wayland" SKIP_RETURN_CODE 77
                                                    TIMEOUT 300)
endif()

# X clients under the compositor (xterm on sway's Xwayland): about 25 s, hence its own label.
find_package(X11)
if(TARGET pelmorad AND X11_FOUND)
  add_executable(xwayland_test ${CMAKE_CURRENT_LIST_DIR}/xwayland_test.cpp
                               ${CMAKE_CURRENT_LIST_DIR}/sway_session.cpp
                               ${PROJECT_SOURCE_DIR}/tests/x11/x_session.cpp)
  target_link_libraries(xwayland_test PRIVATE pelmora_test_support GTest::gtest X11::X11)
  target_compile_definitions(xwayland_test PRIVATE
    PELMORA_WRECEIVER="pelmora-wreceiver" PELMORA_XRECEIVER="pelmora-xreceiver"
    PELMORA_PELMORAD="$<TARGET_FILE:pelmorad>")
  add_dependencies(xwayland_test pelmorad)
  add_test(NAME xwayland_test COMMAND xwayland_test)
  set_tests_properties(xwayland_test PROPERTIES LABELS "wayland;desktop" SKIP_RETURN_CODE 77
                                                TIMEOUT 300)
endif()
