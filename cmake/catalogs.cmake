# The message catalogs: po/<lang>.po, checked and compiled by msgfmt and built
# into the core library, so no program ever looks for a catalog file at run time.
find_program(MSGFMT msgfmt REQUIRED)
set(VANTREL_LANGUAGES en ja)
set(CATALOG_SOURCES)
foreach(lang ${VANTREL_LANGUAGES})
  set(po ${CMAKE_CURRENT_SOURCE_DIR}/po/${lang}.po)
  set(mo ${CMAKE_CURRENT_BINARY_DIR}/po/${lang}.mo)
  set(cpp ${CMAKE_CURRENT_BINARY_DIR}/po/catalog_${lang}.cpp)
  add_custom_command(
    OUTPUT ${cpp}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/po
    COMMAND ${MSGFMT} --check -o ${mo} ${po}
    COMMAND ${CMAKE_COMMAND} -DMO=${mo} -DLANG_NAME=${lang} -DOUT=${cpp}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_catalog.cmake
    DEPENDS ${po} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_catalog.cmake
    COMMENT "Compiling the ${lang} message catalog")
  list(APPEND CATALOG_SOURCES ${cpp})
endforeach()
