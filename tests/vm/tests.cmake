# The uinput sink typed through a real kernel in a qemu guest (label `vm`; `make test-vm`), on a
# German layout. The guest has no libraries, so the test program is static and carries the
# sink's own sources; its key plan is made on the host by vm_key_plan (xkbcommon).
set(vm_sink_sources ${PROJECT_SOURCE_DIR}/platform/uinput/uinput_key_sink.cpp
                    ${PROJECT_SOURCE_DIR}/platform/xkb/key_plan.cpp
                    ${PROJECT_SOURCE_DIR}/platform/uinput/us_keymap.cpp
                    ${PROJECT_SOURCE_DIR}/platform/uinput/event_pacer.cpp)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT PELMORA_SANITIZE AND PELMORA_HAVE_XKB AND EXISTS
   ${PROJECT_SOURCE_DIR}/platform/uinput/uinput_key_sink.cpp)
  add_executable(vm_uinput_check ${CMAKE_CURRENT_LIST_DIR}/vm_uinput_check.cpp ${vm_sink_sources})
  target_include_directories(vm_uinput_check PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(vm_uinput_check PRIVATE pelmora_options Threads::Threads)
  target_link_options(vm_uinput_check PRIVATE -static)
  add_executable(vm_key_plan ${CMAKE_CURRENT_LIST_DIR}/vm_key_plan.cpp)
  target_link_libraries(vm_key_plan PRIVATE pelmora_core)
  set(vm_work ${CMAKE_CURRENT_BINARY_DIR}/vm)
  add_test(NAME vm_uinput
           COMMAND sh -c "mkdir -p '${vm_work}' && '$<TARGET_FILE:vm_key_plan>' de >'${vm_work}/plan' && exec '${CMAKE_CURRENT_LIST_DIR}/run_vm.sh' '$<TARGET_FILE:vm_uinput_check>' '${vm_work}' '${vm_work}/plan'")
  set_tests_properties(vm_uinput PROPERTIES LABELS vm TIMEOUT 1200 SKIP_RETURN_CODE 77)
endif()
