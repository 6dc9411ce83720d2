# The Windows installer (NSIS, packaging/windows/pelmora.nsi) and the portable zip of a mingw
# build: the target package-windows writes pelmora-<version>-<arch>-setup.exe and
# pelmora-<version>-<arch>-portable.zip into the build directory, and package-windows.txt, which
# names them and the programs in them for tools/wine/installer-test.
if(NOT WIN32 OR NOT TARGET pelmorad)
  return()
endif()

set(_version ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(_arch x86_64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$")
  set(_arch i686)
else()
  message(STATUS "package-windows: no installer for processor ${CMAKE_SYSTEM_PROCESSOR}")
  return()
endif()

# The tray program joins the packages as soon as the build has it.
set(_programs pelmorad)
if(TARGET pelmora)
  list(APPEND _programs pelmora)
endif()

set(_stem pelmora-${_version}-${_arch})
set(_setup ${CMAKE_BINARY_DIR}/${_stem}-setup.exe)
set(_zip ${CMAKE_BINARY_DIR}/${_stem}-portable.zip)
set(_stage ${CMAKE_BINARY_DIR}/package-windows)
set(_script ${PROJECT_SOURCE_DIR}/packaging/windows/pelmora.nsi)

# The installer's licence page wraps the text itself: one line per paragraph.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE _license)
string(REPLACE "\n\n" "\r" _license "${_license}")
string(REPLACE "\n" " " _license "${_license}")
string(REPLACE "\r" "\n\n" _license "${_license}")
set(_license_page ${CMAKE_BINARY_DIR}/package-windows-license.txt)
file(GENERATE OUTPUT ${_license_page} CONTENT "${_license}" NEWLINE_STYLE CRLF)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)

# The programs, stripped (a third of their size), with the licence and README: the content of
# both the zip and the installer.
set(_dir ${_stage}/${_stem})
set(_defines -DVERSION=${_version} -DFILE_VERSION=${PROJECT_VERSION} -DARCH=${_arch}
             -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DLICENSE_PAGE=${_license_page}
             -DOUTFILE=${_setup})
set(_copies)
set(_names)
set(_staged ${_dir}/LICENSE.txt ${_dir}/README.md)
foreach(_program ${_programs})
  string(TOUPPER ${_program} _upper)
  list(APPEND _defines -D${_upper}_EXE=${_dir}/${_program}.exe)
  if(CMAKE_STRIP)
    list(APPEND _copies COMMAND ${CMAKE_STRIP} -o ${_dir}/${_program}.exe
         $<TARGET_FILE:${_program}>)
  else()
    list(APPEND _copies COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${_program}>
         ${_dir}/${_program}.exe)
  endif()
  list(APPEND _names ${_program}.exe)
  list(APPEND _staged ${_dir}/${_program}.exe)
endforeach()
add_custom_command(OUTPUT ${_staged}
                   COMMAND ${CMAKE_COMMAND} -E rm -rf ${_stage}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${_dir}
                   ${_copies}
                   COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE
                           ${_dir}/LICENSE.txt
                   COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/README.md
                           ${_dir}/README.md
                   DEPENDS ${_programs} ${PROJECT_SOURCE_DIR}/LICENSE
                           ${PROJECT_SOURCE_DIR}/README.md
                   COMMENT "Staging the Windows programs in ${_dir}" VERBATIM)

find_program(PELMORA_MAKENSIS makensis)
if(PELMORA_MAKENSIS)
  # -WX: any makensis warning fails the build.
  add_custom_command(OUTPUT ${_setup}
                     COMMAND ${PELMORA_MAKENSIS} -V2 -WX ${_defines} ${_script}
                     DEPENDS ${_script} ${_staged} ${_license_page}
                             ${PROJECT_SOURCE_DIR}/res/icons/mainframe.ico
                     COMMENT "Building ${_stem}-setup.exe" VERBATIM)
else()
  add_custom_command(OUTPUT ${_setup}
                     COMMAND ${CMAKE_COMMAND} -E echo
                             "package-windows: makensis not found (tools/bootstrap.sh installer)"
                     COMMAND ${CMAKE_COMMAND} -E false VERBATIM)
endif()

add_custom_command(OUTPUT ${_zip}
                   COMMAND ${CMAKE_COMMAND} -E rm -f ${_zip}
                   COMMAND ${CMAKE_COMMAND} -E chdir ${_stage}
                           ${CMAKE_COMMAND} -E tar cf ${_zip} --format=zip ${_stem}
                   DEPENDS ${_staged}
                   COMMENT "Building ${_stem}-portable.zip" VERBATIM)

list(JOIN _names " " _names)
string(CONCAT _manifest "version=${_version}\n" "arch=${_arch}\n" "setup=${_setup}\n"
       "zip=${_zip}\n" "stem=${_stem}\n" "programs=${_names}\n")
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/package-windows.txt CONTENT "${_manifest}")
add_custom_target(package-windows DEPENDS ${_setup} ${_zip})
