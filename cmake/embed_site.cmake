# Writes a C++ source that carries the browser interface's files as byte
# arrays, so the program can put them into the data folder's Web folder
# without anything else installed beside it.
#
#   cmake -DOUTPUT=file.cpp -DFOLDER=web/pages/site -P embed_site.cmake
file(GLOB names RELATIVE ${FOLDER} ${FOLDER}/*)
list(SORT names)
set(arrays "")
set(rows "")
set(index 0)
foreach(name ${names})
  if(name MATCHES "^\\.")
    continue()
  endif()
  # The web folder's files are installed flat; a subfolder would be left out
  # without a word.
  if(IS_DIRECTORY ${FOLDER}/${name})
    message(FATAL_ERROR "${FOLDER}/${name}: the interface's files must lie directly in the folder")
  endif()
  if(name MATCHES "[\"\\\\]")
    message(FATAL_ERROR "${FOLDER}/${name}: a site file name may not hold a quote or a backslash")
  endif()
  file(READ ${FOLDER}/${name} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  if(size EQUAL 0)
    # A zero-length array is not C++; the row's size says it is empty.
    set(bytes "0")
  else()
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    # CMake's expressions know no counted repeat: twenty bytes a line.
    string(REPEAT "0x..," 20 line)
    string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
  endif()
  string(APPEND arrays "const unsigned char kFile${index}[] = {\n    ${bytes}};\n")
  string(APPEND rows "    {\"${name}\", kFile${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()

set(text "// Made by cmake/embed_site.cmake from web/pages/site; edit the files there.
#include \"engine/site_files.h\"

namespace {

${arrays}
const LWebSiteFile kFiles[] = {
${rows}    {nullptr, nullptr, 0},
};

}  // namespace

std::span<const LWebSiteFile> LWebSiteFilesBuiltIn() { return {kFiles, ${index}}; }
")
# Unchanged text leaves the file alone, so nothing is compiled again.
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE ${OUTPUT} "${text}")
