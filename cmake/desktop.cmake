# SPDX-License-Identifier: GPL-3.0-or-later
# Everything that makes Vimo a desktop program: the manual beside the built program, the installation
# (program, desktop entry, icons, AppStream metainfo, manual, translations), the Debian package and the
# checks of the desktop files.
include(GNUInstallDirs)

set(VIMO_APP_ID example.talvoren.vimo)
set(VIMO_DESKTOP_FILE ${CMAKE_SOURCE_DIR}/desktop/${VIMO_APP_ID}.desktop)
set(VIMO_METAINFO_FILE ${CMAKE_SOURCE_DIR}/desktop/${VIMO_APP_ID}.metainfo.xml)
set(VIMO_MANUAL ${CMAKE_SOURCE_DIR}/manual/manual_free_edition.html)
file(GLOB VIMO_MANUAL_IMAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/manual/manual-images/*.png)

# F1 looks for the manual beside the program, so the build folder gets a copy.
set(VIMO_MANUAL_COPIES ${CMAKE_BINARY_DIR}/manual_free_edition.html)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/manual_free_edition.html
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VIMO_MANUAL} ${CMAKE_BINARY_DIR}/manual_free_edition.html
  DEPENDS ${VIMO_MANUAL}
  COMMENT "Copying the manual beside the program")
foreach(image ${VIMO_MANUAL_IMAGES})
  get_filename_component(imageName ${image} NAME)
  set(copy ${CMAKE_BINARY_DIR}/manual-images/${imageName})
  add_custom_command(OUTPUT ${copy}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${image} ${copy}
    DEPENDS ${image})
  list(APPEND VIMO_MANUAL_COPIES ${copy})
endforeach()
add_custom_target(vimo_manual ALL DEPENDS ${VIMO_MANUAL_COPIES})

install(TARGETS vimo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VIMO_DESKTOP_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VIMO_METAINFO_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/vimo-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${VIMO_APP_ID}.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/resources/vimo.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${VIMO_APP_ID}.svg)
# The About box and F1 look in <prefix>/share/doc/vimo, the translator in <prefix>/share/vimo/translations.
install(FILES ${VIMO_MANUAL} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vimo)
install(FILES ${VIMO_MANUAL_IMAGES} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vimo/manual-images)
install(FILES ${VIMO_QM} DESTINATION ${CMAKE_INSTALL_DATADIR}/vimo/translations)

# The licence, the changelog and the man page where Debian's policy and man(1) look for them; the last two
# compressed reproducibly (no name, no time stamp in the gzip header).
find_program(GZIP gzip REQUIRED)
set(VIMO_PACKAGING_DOCS)
foreach(source packaging/changelog manual/vimo.1)
  get_filename_component(docName ${source} NAME)
  set(compressed ${CMAKE_BINARY_DIR}/packaging/${docName}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND ${GZIP} -9nc ${CMAKE_SOURCE_DIR}/${source} > ${compressed}
    DEPENDS ${CMAKE_SOURCE_DIR}/${source})
  list(APPEND VIMO_PACKAGING_DOCS ${compressed})
endforeach()
add_custom_target(vimo_packaging_docs ALL DEPENDS ${VIMO_PACKAGING_DOCS})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vimo)
install(FILES ${CMAKE_BINARY_DIR}/packaging/vimo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# `cpack` in the build folder makes vimo_<version>_<arch>.deb; the libraries it needs are found by
# dpkg-shlibdeps, the rest is declared here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vimo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
set(CPACK_PACKAGE_VENDOR Talvoren)
set(CPACK_PACKAGE_CONTACT "The Vimo developers <vimo@talvoren.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "party jukebox for one shared screen")
set(CPACK_PACKAGE_DESCRIPTION
  "Guests wish songs from a big grid of MP3 files, a queue of five plays them,\n\
and a webcam photographs every wish and keeps the guest's comment inside the\n\
photo. Every night leaves a folder with the event log, the playlist and a\n\
party album page.")
set(CPACK_PACKAGE_HOMEPAGE_URL https://vimo.talvoren.example)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Fonts for the widgets; the sleep inhibitor talks to the session bus when there is one. Qt's own
# translations make its folder dialogs and message-box buttons speak the user's language.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, qttranslations5-l10n")
# The manual and the party album open in the desktop's browser through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, hicolor-icon-theme, dbus")
include(CPack)

# The desktop entry and the metainfo are checked by the tools the desktops themselves trust
# (scripts/setup installs them; a missing tool fails its test rather than skipping it).
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
find_program(APPSTREAMCLI appstreamcli)
if(NOT DESKTOP_FILE_VALIDATE)
  set(DESKTOP_FILE_VALIDATE desktop-file-validate)
endif()
if(NOT APPSTREAMCLI)
  set(APPSTREAMCLI appstreamcli)
endif()
add_test(NAME desktop-entry COMMAND ${DESKTOP_FILE_VALIDATE} ${VIMO_DESKTOP_FILE})
add_test(NAME metainfo COMMAND ${APPSTREAMCLI} validate --no-net ${VIMO_METAINFO_FILE})
# An installation into a fresh prefix holds every file where the desktop and the program look for it.
add_test(NAME installation
  COMMAND ${CMAKE_SOURCE_DIR}/tests/check-installation ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR})
# The Debian package as a distribution would judge it.
add_test(NAME package COMMAND ${CMAKE_SOURCE_DIR}/tests/check-package ${CMAKE_BINARY_DIR})
