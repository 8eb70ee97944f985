# Turns one compiled message catalog (.mo) into a C++ source holding its bytes,
# so the program carries its translations inside itself.
# Usage: cmake -DMO=<file.mo> -DLANG_NAME=<ja> -DSYMBOL=<ja> -DOUT=<file.cpp> -P embed_catalog.cmake
file(READ ${MO} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
file(WRITE ${OUT}.tmp
  "// Generated from po/${LANG_NAME}.po at build time; edit the PO file instead.\n"
  "#include <cstddef>\n"
  "extern const unsigned char kCatalog_${SYMBOL}[] = {\n${bytes}\n};\n"
  "extern const std::size_t kCatalogSize_${SYMBOL} = ${size};\n")
file(RENAME ${OUT}.tmp ${OUT})
