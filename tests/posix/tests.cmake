# POSIX backends: the settings file, the termios serial layer on pseudo-terminals, and the reader
# end to end on them. Never a real serial port.
if(WIN32)
  return()
endif()
set(posix_tests ${CMAKE_CURRENT_LIST_DIR})
pelmora_add_test(settings_file_test ${posix_tests}/settings_file_test.cpp LABELS posix)
pelmora_add_test(line_mapping_test ${posix_tests}/line_mapping_test.cpp LABELS posix)
pelmora_add_test(serial_pty_test ${posix_tests}/serial_pty_test.cpp LABELS posix pty)
pelmora_add_test(reader_posix_test ${posix_tests}/reader_posix_test.cpp LABELS posix pty)
