# The portal sink against a mock portal (python3-dbusmock) on a private session bus.
if(NOT PELMORA_HAVE_PORTAL)
  return()
endif()
pelmora_add_test(portal_sink_test ${CMAKE_CURRENT_LIST_DIR}/portal_sink_test.cpp LABELS portal)
target_compile_definitions(portal_sink_test PRIVATE
  PELMORA_PORTAL_TEMPLATE="${CMAKE_CURRENT_LIST_DIR}/remote_desktop_template.py")
