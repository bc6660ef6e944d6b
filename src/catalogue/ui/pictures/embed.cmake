# cmake -DPICTURES="a/J0.jpg;a/J1.jpg" -DOUT=file.cpp -P embed.cmake
# Writes each file as a byte array named after it: kPictureJ0 and kPictureJ0Size.
set(text "// Made by the build from the JPEG files; do not edit.\n#include <cstddef>\n\nnamespace ostrel {\n")
foreach(picture IN LISTS PICTURES)
    get_filename_component(name ${picture} NAME_WE)
    file(READ ${picture} hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR size "${digits} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(APPEND text "extern const unsigned char kPicture${name}[] = {${bytes}};\n")
    string(APPEND text "extern const std::size_t kPicture${name}Size = ${size};\n")
endforeach()
string(APPEND text "}  // namespace ostrel\n")
file(WRITE ${OUT} "${text}")
