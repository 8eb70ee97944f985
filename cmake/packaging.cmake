# What an installed program carries besides itself, and the Debian package
# made from the installation (make deb).

# Manual pages and changelogs are installed compressed, reproducibly (no name,
# no time stamp in the gzip header).
set(VANTREL_COMPRESSED "")
foreach(pair "${SRC}/resources/vantrel.1|vantrel.1.gz"
             "${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/changelog|changelog.gz")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 name)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}
    COMMAND gzip -9n -c ${source} > ${CMAKE_BINARY_DIR}/${name}
    DEPENDS ${source} VERBATIM)
  list(APPEND VANTREL_COMPRESSED ${CMAKE_BINARY_DIR}/${name})
endforeach()
add_custom_target(vantrel_compressed_docs DEPENDS ${VANTREL_COMPRESSED})
add_dependencies(vantrel vantrel_compressed_docs)

install(FILES ${CMAKE_BINARY_DIR}/vantrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/copyright
              ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantrel)
install(FILES ${SRC}/resources/example.vantrel.Vantrel.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Installing and packing take the program as built; they do not build every
# test program first (make install and make deb build what they install).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vantrel developers <dev@vantrel.example>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vantrel developers <dev@vantrel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "telephone dialer with touch tones and modem dialing")
# The extended description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Vantrel composes a telephone number on an on-screen keypad that sounds each
key's DTMF tone, and dials it either as tones through the speaker, for a
telephone held to it, or with AT commands to a modem on a serial port.
.
It keeps a dial list of 100 numbers in list files, remembers its settings
in ~/.config/vantrel.ini, and opens tel: links from the web browser in the
running window.")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, xdg-utils")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Stripped of symbols and of the compiler's notes, as Debian's own tools strip.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/strip_package.cmake)
# Directories as dpkg expects them, whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
