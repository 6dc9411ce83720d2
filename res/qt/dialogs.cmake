# The About picture, JPEG resource 20000 of type "JPG", compiled into the program.
# tools/about_picture draws it; the committed file is what gets built in.
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/about_picture.jpg
                            PROPERTIES QT_RESOURCE_ALIAS 20000)
qt_add_resources(pelmora_res about_picture
  PREFIX /JPG
  BASE ${CMAKE_CURRENT_SOURCE_DIR}
  FILES ${CMAKE_CURRENT_SOURCE_DIR}/about_picture.jpg)
