# X11 typing: the pure key planning (no X server) and end-to-end runs on a private Xvfb.
# The planner is built with the X11 backend, which Windows builds leave out.
if(WIN32)
  return()
endif()
pelmora_add_test(x11_key_plan_test ${CMAKE_CURRENT_LIST_DIR}/x11_key_plan_test.cpp LABELS x11)

find_package(X11)
if(PELMORA_HAVE_X11)
  set(x11_e2e_sources ${CMAKE_CURRENT_LIST_DIR}/x11_typing_test.cpp
                      ${CMAKE_CURRENT_LIST_DIR}/x_session.cpp)
  # The whole path through the headless program, once it is part of the build.
  if(TARGET pelmorad)
    list(APPEND x11_e2e_sources ${CMAKE_CURRENT_LIST_DIR}/x11_pelmorad_test.cpp)
  endif()
  add_executable(x11_typing_test ${x11_e2e_sources})
  target_link_libraries(x11_typing_test PRIVATE pelmora_test_support GTest::gtest_main
                                                X11::X11 X11::Xi X11::Xtst)
  target_compile_definitions(x11_typing_test PRIVATE
    PELMORA_XRECEIVER="$<TARGET_FILE:pelmora-xreceiver>")
  add_dependencies(x11_typing_test pelmora-xreceiver)
  if(TARGET pelmorad)
    target_compile_definitions(x11_typing_test PRIVATE PELMORA_PELMORAD="$<TARGET_FILE:pelmorad>")
    add_dependencies(x11_typing_test pelmorad)
  endif()
  # A test that stops its X server leaves the display number free for others' servers until it
  # starts a new one: it runs alone.
  set(x11_alone "X11Pelmorad.ALostDisplay*")
  gtest_discover_tests(x11_typing_test DISCOVERY_TIMEOUT 60 TEST_FILTER "-${x11_alone}"
                       PROPERTIES LABELS "x11" TIMEOUT 300)
  if(TARGET pelmorad)
    gtest_discover_tests(x11_typing_test DISCOVERY_TIMEOUT 60 TEST_FILTER "${x11_alone}"
                         PROPERTIES LABELS "x11" TIMEOUT 300 RUN_SERIAL TRUE)
  endif()
endif()
