# What `cmake --install` (and `make install`, `make package`) puts on a
# machine: the agent, the codec tool, the desktop entry, the application icon
# in the hicolor theme and the manual pages. Nothing starts system-wide: the
# agent writes the user's own autostart entry when asked to.
include(GNUInstallDirs)

install(TARGETS pellix-growl pellix-json RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/pellix-growl.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

set(pellix_icon_dir ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
foreach(size 48 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/pellix-growl-${size}.png
          DESTINATION ${pellix_icon_dir}/${size}x${size}/apps RENAME pellix-growl.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/pellix-growl.svg DESTINATION ${pellix_icon_dir}/scalable/apps)

foreach(page pellix-growl pellix-json)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1.in ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/man/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# `make package`: a Debian package. The shared-library dependencies come from
# dpkg-shlibdeps; the agent also needs a session bus at run time.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pellix-growl)
set(CPACK_PACKAGE_VENDOR Pellix)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop agent for the Pellix push-notification service")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pellix developers <developers@pellix.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_PACKAGE_DESCRIPTION "Pellix keeps one long-lived HTTP notification stream open for one user and
shows each message it receives as a desktop notification, with title, text
and icon; clicking one opens its web address. It lives in the system tray,
reconnects by itself and can start at login.

Also contains pellix-json, a command-line tool that checks JSON text with
the agent's own codec and writes it back.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "dbus")
include(CPack)
