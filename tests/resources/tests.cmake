# The Windows resource script against the dialog templates as data, read as text on the build
# machine (the resource compiler is not needed).
if(CMAKE_CROSSCOMPILING)
  return()
endif()
pelmora_add_test(resource_script_test ${CMAKE_CURRENT_LIST_DIR}/resource_script_test.cpp
                 ${PROJECT_SOURCE_DIR}/res/dialog_templates.cpp
                 ${PROJECT_SOURCE_DIR}/res/shell_resources.cpp LABELS resources)
target_compile_definitions(resource_script_test PRIVATE
                           PELMORA_RES_DIR="${PROJECT_SOURCE_DIR}/res")
