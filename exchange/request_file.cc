#include "exchange/request_file.h"

#include "exchange/file_names.h"
#include "platform/error.h"

namespace zindo {

std::string QuitRequest() { return std::string("\x01\x00\x00", 3); }

void WriteQuitRequest(FileSystem& files) {
  files.WriteFile(kRequestCreateName, TextLine(QuitRequest()));
}

bool RequestPresent(FileSystem& files) {
  return files.StoredName(kRequestOpenName) == kRequestCreateName;
}

std::string ReadShortRequest(FileSystem& files) {
  std::string request = files.OpenForReading(kRequestOpenName)->Read(3);
  if (request.size() < 3) {
    throw Error(std::string(kRequestOpenName) + ": request ends after " +
                std::to_string(request.size()) + " of 3 bytes");
  }
  return request;
}

void DeleteRequest(FileSystem& files) { files.DeleteFile(kRequestOpenName); }

}  // namespace zindo
