# cmake -DIN=file -DOUT=file.inc -P EmbedFile.cmake: the bytes of IN as a C
# list of numbers, ended by a zero, for an array initializer.
if(EXISTS "${IN}")
  file(READ "${IN}" hex HEX)
else()
  # Only until the client is in the tree: a module that says so.
  string(HEX "throw new Error('impthermorvane.js is missing from this build');\n" hex)
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," list "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" list "${list}")
file(WRITE "${OUT}.tmp" "${list}0x00\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
