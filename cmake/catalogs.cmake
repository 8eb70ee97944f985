# The message catalogs: every po/<language>.po, checked and compiled by msgfmt
# and built into the core library with an index of the languages, so a new
# catalog is all a new language needs and no program looks for a catalog file
# at run time.
find_program(MSGFMT msgfmt REQUIRED)
file(GLOB PO_FILES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/po/*.po)
set(VANTREL_LANGUAGES)
set(CATALOG_SOURCES)
set(CATALOG_DECLARATIONS "")
set(CATALOG_ENTRIES "")
foreach(po ${PO_FILES})
  get_filename_component(lang ${po} NAME_WE)
  string(MAKE_C_IDENTIFIER ${lang} symbol)
  list(APPEND VANTREL_LANGUAGES ${lang})
  set(mo ${CMAKE_CURRENT_BINARY_DIR}/po/${lang}.mo)
  set(cpp ${CMAKE_CURRENT_BINARY_DIR}/po/catalog_${symbol}.cpp)
  add_custom_command(
    OUTPUT ${cpp}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/po
    COMMAND ${MSGFMT} --check -o ${mo} ${po}
    COMMAND ${CMAKE_COMMAND} -DMO=${mo} -DLANG_NAME=${lang} -DSYMBOL=${symbol} -DOUT=${cpp}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_catalog.cmake
    DEPENDS ${po} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_catalog.cmake
    COMMENT "Compiling the ${lang} message catalog")
  list(APPEND CATALOG_SOURCES ${cpp})
  string(APPEND CATALOG_DECLARATIONS
    "extern const unsigned char kCatalog_${symbol}[];\nextern const std::size_t kCatalogSize_${symbol};\n")
  string(APPEND CATALOG_ENTRIES "    {\"${lang}\", kCatalog_${symbol}, kCatalogSize_${symbol}},\n")
endforeach()
set(CATALOG_INDEX ${CMAKE_CURRENT_BINARY_DIR}/po/catalog_index.cpp)
file(CONFIGURE OUTPUT ${CATALOG_INDEX} CONTENT
"// Generated from the catalogs in po/ when the build is configured.
#include \"framework/translation.h\"

${CATALOG_DECLARATIONS}
namespace fw {
extern const EmbeddedCatalog kEmbeddedCatalogs[] = {
${CATALOG_ENTRIES}    {nullptr, nullptr, 0},
};
}  // namespace fw
")
list(APPEND CATALOG_SOURCES ${CATALOG_INDEX})
