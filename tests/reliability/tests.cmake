# Reliability: the reader on the real serial layer through many unplug and replug cycles. Needs
# the termios serial layer (a pseudo-terminal must open).
if(NOT WIN32 AND EXISTS ${PROJECT_SOURCE_DIR}/platform/posix/line_mapping.h)
  pelmora_add_test(unplug_test ${CMAKE_CURRENT_LIST_DIR}/unplug_test.cpp LABELS reliability pty)
endif()
