#include "exchange/response_file.h"

#include "exchange/file_names.h"

namespace zindo {

std::string ResponseText(const std::string& reply) {
  std::string text = "/0";
  text.reserve(text.size() + 4 * reply.size());
  for (char byte : reply) {
    text += ',';
    text += std::to_string(static_cast<unsigned char>(byte));
  }
  return text;
}

void WriteResponse(FileSystem& files, const std::string& reply) {
  files.WriteFile(kResponseFileName, TextLine(ResponseText(reply)));
}

}  // namespace zindo
