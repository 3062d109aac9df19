# cmake/Packaging.cmake: install rules and CPack settings -> `cmake --install` and `cpack`.
# On Linux, two components, each a .deb of its own from one cpack run, whose dependencies
# dpkg-shlibdeps reads off its program: "terminal" (package mimoza) with the terminal program in
# bin/, its manual pages gzipped in share/man/man1/ and man5/, README, changelog and copyright in
# share/doc/mimoza/ with the example quips in its examples/; and, where the window is built,
# "desktop" (package mimoza-gtk) with mimoza-gtk, its manual page, its desktop entry, AppStream
# metainfo and icons named by the application ID, and its own copyright and changelog. For
# Windows (the mingw presets): a zip of one folder holding mimoza.exe, a short readme and the
# example quips in examples\.
# Included by the top-level CMakeLists.txt once the program's target exists; checked by
# scripts/test-package (.deb) and scripts/test-windows (zip).

set(CPACK_PACKAGE_NAME mimoza)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Mimoza developers")
set(CPACK_PACKAGE_CONTACT "Mimoza developers <mimoza@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small chat companion that learns from its user")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(MIMOZA_WINDOWS_BITS 64)
  else()
    set(MIMOZA_WINDOWS_BITS 32)
  endif()
  install(TARGETS mimoza RUNTIME DESTINATION .)
  # The quips wait in examples\: beside the program they would answer every line, and so switch
  # off the learning offers a new user is promised. The readme says what copying them in does.
  install(FILES ${PROJECT_SOURCE_DIR}/examples/Boke.dat DESTINATION examples)
  # Windows editors read the readme as UTF-8 by its byte order mark and want CR LF line ends,
  # whatever line ends the checkout has.
  set(readme_template ${PROJECT_SOURCE_DIR}/docs/readme-windows.txt.in)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${readme_template})
  file(READ ${readme_template} readme_text)
  string(ASCII 239 187 191 byte_order_mark)
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/readme.txt CONTENT "${byte_order_mark}${readme_text}"
       @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/readme.txt DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME mimoza-${PROJECT_VERSION}-windows-${MIMOZA_WINDOWS_BITS}bit)
  # Unpacking gives one folder, which is where the program and its data files belong together.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  include(CPack)
  return()
endif()

include(GNUInstallDirs)
install(TARGETS mimoza RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT terminal)

# Debian keeps manual pages and changelogs gzipped without a name or time stamp (-n), so that
# the same sources give the same package.
function(mimoza_gzip source output)
  add_custom_command(OUTPUT ${output}
                     COMMAND gzip -9 -n -c ${source} > ${output}
                     DEPENDS ${source}
                     VERBATIM)
endfunction()
mimoza_gzip(${PROJECT_SOURCE_DIR}/docs/mimoza.1 ${PROJECT_BINARY_DIR}/mimoza.1.gz)
mimoza_gzip(${PROJECT_SOURCE_DIR}/docs/mimoza-dictionary.5
            ${PROJECT_BINARY_DIR}/mimoza-dictionary.5.gz)
mimoza_gzip(${PROJECT_SOURCE_DIR}/docs/changelog ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_target(mimoza_docs ALL DEPENDS ${PROJECT_BINARY_DIR}/mimoza.1.gz
                                          ${PROJECT_BINARY_DIR}/mimoza-dictionary.5.gz
                                          ${PROJECT_BINARY_DIR}/changelog.gz)

install(FILES ${PROJECT_BINARY_DIR}/mimoza.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT terminal)
install(FILES ${PROJECT_BINARY_DIR}/mimoza-dictionary.5.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man5
        COMPONENT terminal)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/copyright
              ${PROJECT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT terminal)
install(FILES ${PROJECT_SOURCE_DIR}/examples/Boke.dat DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        COMPONENT terminal)
# Shell completion, where bash-completion and zsh look for a command's own.
install(FILES ${PROJECT_SOURCE_DIR}/terminal/completion/mimoza.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME mimoza
        COMPONENT terminal)
install(FILES ${PROJECT_SOURCE_DIR}/terminal/completion/_mimoza
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions COMPONENT terminal)
set(CPACK_COMPONENTS_ALL terminal)

if(TARGET mimoza-gtk)
  set(desktop_doc ${CMAKE_INSTALL_DATADIR}/doc/mimoza-gtk)
  install(TARGETS mimoza-gtk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT desktop)
  mimoza_gzip(${PROJECT_SOURCE_DIR}/docs/mimoza-gtk.1 ${PROJECT_BINARY_DIR}/mimoza-gtk.1.gz)
  add_custom_target(mimoza_gtk_docs ALL DEPENDS ${PROJECT_BINARY_DIR}/mimoza-gtk.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/mimoza-gtk.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT desktop)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/copyright ${PROJECT_BINARY_DIR}/changelog.gz
          DESTINATION ${desktop_doc} COMPONENT desktop)
  # The desktop entry, the metainfo and the icons carry the application ID in their names.
  foreach(kind desktop metainfo.xml)
    configure_file(${PROJECT_SOURCE_DIR}/desktop/mimoza.${kind}.in
                   ${PROJECT_BINARY_DIR}/${MIMOZA_APP_ID}.${kind} @ONLY)
  endforeach()
  install(FILES ${PROJECT_BINARY_DIR}/${MIMOZA_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT desktop)
  install(FILES ${PROJECT_BINARY_DIR}/${MIMOZA_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT desktop)
  set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES ${PROJECT_SOURCE_DIR}/desktop/icons/mimoza.svg DESTINATION ${icons}/scalable/apps
          RENAME ${MIMOZA_APP_ID}.svg COMPONENT desktop)
  # The sizes resources/make_icon.py renders.
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/desktop/icons/mimoza-${size}.png
            DESTINATION ${icons}/${size}x${size}/apps RENAME ${MIMOZA_APP_ID}.png
            COMPONENT desktop)
  endforeach()
  list(APPEND CPACK_COMPONENTS_ALL desktop)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_TERMINAL_PACKAGE_NAME mimoza)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME mimoza-gtk)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Each package's description has its own synopsis as its first line; CPack would put the one
# summary above both, so it is left to its default here, which CPack does not add.
unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
set(CPACK_DEBIAN_TERMINAL_DESCRIPTION "small chat companion that learns from its user
Mimoza answers each line you type from its dictionary, a text file of keys
(patterns searched inside your line) and answers; when it knows nothing for a
line it asks whether it may learn it and what it should answer. Lines are
Japanese, or any text of code page 932. It runs as a full-screen line editor
in a terminal, line by line through a pipe, or as a JSON-lines machine mode.")
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION "small chat companion that learns from its user, in a window
Mimoza answers each line you type from its dictionary, a text file of keys
(patterns searched inside your line) and answers; when it knows nothing for a
line it asks whether it may learn it and what it should answer. This package
holds its GTK window, in the applications menu as Mimoza (ミモザ): the
conversation, why the last answer was chosen, and the dictionary's check.")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION x11)
# The window draws Japanese, which needs a font that has it.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-ipafont-gothic | fonts-japanese-gothic")
include(CPack)
