# Installation and the Debian package. Programs that the build did not make are skipped.
include(GNUInstallDirs)
set(PELMORA_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/pelmora)

foreach(program pelmora pelmorad pelmora-vscan)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    if(EXISTS ${PROJECT_SOURCE_DIR}/packaging/man/${program}.1)
      install(FILES ${PROJECT_SOURCE_DIR}/packaging/man/${program}.1
              DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
  endif()
endforeach()

if(NOT WIN32)
  if(TARGET pelmora)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/pelmora.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    # Not started for everyone: a user copies it to ~/.config/autostart to start Pelmora at login.
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/pelmora-autostart.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/pelmora/autostart RENAME pelmora.desktop)
    foreach(size 16 32)
      install(FILES ${PROJECT_SOURCE_DIR}/res/icons/mainframe_${size}.png
              DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
              RENAME pelmora.png)
    endforeach()
  endif()
  if(TARGET pelmorad)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/pelmorad.service DESTINATION lib/systemd/user)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/udev/60-pelmora-uinput.rules
                ${PROJECT_SOURCE_DIR}/packaging/udev/61-pelmora-modemmanager.rules
          DESTINATION ${PELMORA_DOCDIR}/examples/udev)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${PELMORA_DOCDIR})

set(CPACK_PACKAGE_NAME pelmora)
set(CPACK_PACKAGE_VENDOR "Vantel")
set(CPACK_PACKAGE_CONTACT "Vantel <support@vantel.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "use a serial barcode scanner as a keyboard")
set(CPACK_PACKAGE_DESCRIPTION
    "Pelmora reads what a barcode scanner sends on a serial port (RS-232, USB serial or CDC-ACM)\n\
and types it into the window that has the keyboard focus, optionally followed by Enter.\n\
It comes as a tray program (pelmora), a headless reader (pelmorad) and a virtual scanner for\n\
try-outs (pelmora-vscan).")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${PROJECT_VERSION_TWEAK})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.vantel.example/pelmora")
# Library dependencies come from the binaries themselves (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xvfb")
set(CPACK_STRIP_FILES ON)
include(CPack)
