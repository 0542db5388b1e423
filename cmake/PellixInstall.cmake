# SPDX-License-Identifier: MIT
# What `cmake --install` (and `make install`, `make package`) puts on a
# machine: the agent, the codec tool, the desktop entry, its AppStream
# metadata, the application icon in the hicolor theme, the agent's D-Bus
# interface and the manual pages.
# Nothing starts system-wide: the agent writes the user's own autostart entry
# when asked to.
include(GNUInstallDirs)

install(TARGETS pellix-growl pellix-json RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/pellix-growl.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/org.pellix.PellixGrowl.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/dbus/org.pellix.PellixGrowl.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/interfaces)

set(pellix_icon_dir ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
foreach(size 48 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/pellix-growl-${size}.png
          DESTINATION ${pellix_icon_dir}/${size}x${size}/apps RENAME pellix-growl.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/pellix-growl.svg DESTINATION ${pellix_icon_dir}/scalable/apps)

# The tray's pictures as named icons, which hosts scale to their panels: each
# drawing, and the same faded as the agent fades it while offline. Built into
# a theme folder of the build tree, which the tests use too.
set(PELLIX_BUILD_ICON_THEME ${PROJECT_BINARY_DIR}/icons)
set(pellix_status_icons ${PELLIX_BUILD_ICON_THEME}/hicolor/scalable/status)
foreach(mark pellix_menu_icon zarkleSMASHr)
  set(drawing_file ${PROJECT_SOURCE_DIR}/resources/${mark}.svg)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${drawing_file})
  file(READ ${drawing_file} drawing)
  file(WRITE ${pellix_status_icons}/pellix-growl-${mark}.svg "${drawing}")
  string(REGEX REPLACE "(<svg[^>]*>)" "\\1<g opacity=\"${PELLIX_DIMMED_OPACITY}\">" faded "${drawing}")
  string(REPLACE "</svg>" "</g></svg>" faded "${faded}")
  file(WRITE ${pellix_status_icons}/pellix-growl-${mark}-offline.svg "${faded}")
endforeach()
install(DIRECTORY ${pellix_status_icons} DESTINATION ${pellix_icon_dir}/scalable)

# Compressed as Debian wants them: the best ratio, and neither name nor time
# in the header, so that every build gives the same bytes.
function(pellix_gzip source compressed)
  add_custom_command(OUTPUT ${compressed}
                     COMMAND gzip -9n --stdout ${source} > ${compressed}
                     DEPENDS ${source} VERBATIM)
endfunction()

set(pellix_compressed)
foreach(page pellix-growl pellix-json)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1.in ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
  pellix_gzip(${PROJECT_BINARY_DIR}/man/${page}.1 ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  list(APPEND pellix_compressed ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
endforeach()

# The package's own documents (licence terms in Debian's machine-readable
# form, the package's changelog) and what lintian is told about it go into
# the package only, as the install component "debian".
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/debian)
set(pellix_debian_changelog ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz)
pellix_gzip(${PROJECT_SOURCE_DIR}/packaging/debian/changelog ${pellix_debian_changelog})
list(APPEND pellix_compressed ${pellix_debian_changelog})
add_custom_target(pellix-compressed-documents ALL DEPENDS ${pellix_compressed})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${pellix_debian_changelog}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pellix-growl COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME pellix-growl COMPONENT debian EXCLUDE_FROM_ALL)

# `make package`: a Debian package. The shared-library dependencies come from
# dpkg-shlibdeps. What it cannot see is named here: the session bus; OpenSSL
# and the trusted certificates, which Qt's TLS plugin loads only when an
# https stream opens; the platform plugins, without which no window or tray
# icon can be shown (libqt6gui6 merely recommends them).
set(pellix_debian_release 1)
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog pellix_changelog_head LIMIT_COUNT 1)
if(NOT pellix_changelog_head MATCHES "^pellix-growl \\(${PROJECT_VERSION}-${pellix_debian_release}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog does not start with version ${PROJECT_VERSION}-${pellix_debian_release}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pellix-growl)
set(CPACK_PACKAGE_VENDOR Pellix)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop agent for the Pellix push-notification service")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};ALL;/"
                                 "${PROJECT_BINARY_DIR};${PROJECT_NAME};debian;/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${pellix_debian_release})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pellix developers <developers@pellix.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://pellix.org/)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_PACKAGE_DESCRIPTION "Pellix keeps one long-lived HTTP notification stream open for one user and
shows each message it receives as a desktop notification, with title, text
and icon; clicking one opens its web address. It lives in the system tray,
reconnects by itself and can start at login.

Also contains pellix-json, a command-line tool that checks JSON text with
the agent's own codec and writes it back.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "dbus, libssl3, ca-certificates, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "dunst | notification-daemon, gnome-keyring | kwalletmanager | keepassxc")
include(CPack)
