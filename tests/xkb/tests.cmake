# The inverse keymap: which key and level type each character on real layouts (no display).
if(WIN32 OR NOT PELMORA_HAVE_XKB)
  return()
endif()
pelmora_add_test(xkb_key_plan_test ${CMAKE_CURRENT_LIST_DIR}/xkb_key_plan_test.cpp LABELS xkb)
find_program(XKBCLI xkbcli)
if(XKBCLI)
  target_compile_definitions(xkb_key_plan_test PRIVATE PELMORA_XKBCLI="${XKBCLI}")
endif()
