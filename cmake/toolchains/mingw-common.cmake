# Shared part of the mingw-w64 cross toolchains. The caller sets PELMORA_MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix compilers: the default win32 thread model has no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${PELMORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELMORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PELMORA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PELMORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC 12 reports a false -Wrestrict overlap inside libstdc++'s string concatenation when
# optimising (GCC bug 105651); the mingw builds are optimised, so keep that one quiet.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")

# Self-contained programs: no libstdc++, libgcc or winpthread DLLs to ship next to them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Programs built here run on Linux under Wine, always inside the sandbox that hides the host's
# serial ports from Wine (tools/wine/wine-run).
get_filename_component(_pelmora_root "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_pelmora_root}/tools/wine/wine-run")
