# Typing on the real desktops (headless GNOME Shell, kwin_wayland) through their real portals.
# Slow (a desktop start each) and about the desktop's behaviour, not our memory: dev builds only.
if(WIN32 OR PELMORA_SANITIZE OR NOT TARGET pelmorad)
  return()
endif()

add_executable(desktop_typing_test ${CMAKE_CURRENT_LIST_DIR}/desktop_typing_test.cpp
                                   ${CMAKE_CURRENT_LIST_DIR}/desktop_session.cpp
                                   ${PROJECT_SOURCE_DIR}/tests/x11/x_session.cpp)
target_link_libraries(desktop_typing_test PRIVATE pelmora_test_support GTest::gtest
                                                  GTest::gtest_main)
# x_session.cpp is used for its process and pseudo-terminal helpers only.
target_compile_definitions(desktop_typing_test PRIVATE
  PELMORA_PELMORAD="$<TARGET_FILE:pelmorad>" PELMORA_XRECEIVER="pelmora-xreceiver"
  PELMORA_DESKTOP_SESSION="${CMAKE_CURRENT_LIST_DIR}/desktop-session.sh")
add_dependencies(desktop_typing_test pelmorad)

# One CTest test per desktop and layout; one desktop at a time, as they share the two cores.
foreach(case gnome_us gnome_de gnome_fr gnome_us_de_switched kde_fr kde_de kde_us_fr_switched)
  add_test(NAME desktop_${case} COMMAND desktop_typing_test
                                        --gtest_filter=*RealDesktop.*/${case})
  set_tests_properties(desktop_${case} PROPERTIES LABELS desktop RESOURCE_LOCK desktop
                       TIMEOUT 420 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endforeach()
