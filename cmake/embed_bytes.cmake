# Writes OUTPUT, a C++ source in which FUNCTION (declared in HEADER, in
# namespace zindo) returns the bytes of INPUT. Run with cmake -P at build
# time, so that a program assembled by the build is part of the relay
# without a binary in the source tree.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" length)
if(length EQUAL 0)
  message(FATAL_ERROR "${INPUT} is empty")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){12})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUTPUT}.new
"// Generated from ${INPUT} by cmake/embed_bytes.cmake.
#include \"${HEADER}\"

namespace zindo {
namespace {

constexpr unsigned char kBytes[] = {
    ${bytes}};

}  // namespace

std::string_view ${FUNCTION}() {
  return {reinterpret_cast<const char*>(kBytes), sizeof kBytes};
}

}  // namespace zindo
")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
