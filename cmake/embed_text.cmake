# Turns a text file into a C++ source defining one char array that holds
# the file's bytes and a closing NUL, so that the program carries the file
# without reading it at run time. Run by the build as
#   cmake -DINPUT=file -DOUTPUT=source.cpp -DSYMBOL=name -DHEADER=header.h -P embed_text.cmake
# HEADER declares the array, so that the compiler checks the two agree.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "(..)" "0x\\1," bytes "${hex}")
# sixteen bytes a line (CMake's expressions know no {n})
string(REPEAT "0x..," 16 row)
string(REGEX REPLACE "(${row})" "\\1\n" bytes "${bytes}")
file(RELATIVE_PATH name "${CMAKE_CURRENT_LIST_DIR}/.." "${INPUT}")
file(WRITE "${OUTPUT}"
  "// Made by the build from ${name}; edit that file, not this one.\n"
  "#include \"${HEADER}\"\n\n"
  "const char ${SYMBOL}[] = {\n${bytes}0x00};\n")
