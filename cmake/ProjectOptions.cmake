# Warnings and sanitizers for every target of the project, through one interface library.
add_library(pelmora_options INTERFACE)

if(MSVC)
  target_compile_options(pelmora_options INTERFACE /W4)
  if(PELMORA_WERROR)
    target_compile_options(pelmora_options INTERFACE /WX)
  endif()
else()
  target_compile_options(pelmora_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                                                   -Wnon-virtual-dtor -Woverloaded-virtual)
  # GCC 12 reports a false overlap in std::string concatenation at -O2 and above (GCC PR 105329).
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(pelmora_options INTERFACE -Wno-restrict)
  endif()
  if(PELMORA_WERROR)
    target_compile_options(pelmora_options INTERFACE -Werror)
  endif()
endif()

if(PELMORA_SANITIZE)
  target_compile_options(pelmora_options INTERFACE -fsanitize=${PELMORA_SANITIZE}
                                                   -fno-omit-frame-pointer -g)
  target_link_options(pelmora_options INTERFACE -fsanitize=${PELMORA_SANITIZE})
  if(PELMORA_SANITIZE MATCHES "undefined")
    target_compile_options(pelmora_options INTERFACE -fno-sanitize-recover=undefined)
  endif()
endif()
