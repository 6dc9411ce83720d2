# Windows backends, run under Wine (see tools/wine). Only in the Windows presets.
if(NOT WIN32)
  return()
endif()

pelmora_add_test(win32_backend_test win32/win32_backend_test.cpp LABELS win32)
