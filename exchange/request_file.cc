#include "exchange/request_file.h"

#include "base/error.h"
#include "exchange/file_names.h"
#include "exchange/request_decoder.h"

namespace zindo {

namespace {

// The request file, one byte per read, as a DOS program reads it.
class FileByteSource : public ByteSource {
 public:
  explicit FileByteSource(SequentialFile& file) : file_(file) {}
  std::optional<uint8_t> Next() override {
    const std::string byte = file_.Read(1);
    if (byte.empty()) return std::nullopt;
    return static_cast<uint8_t>(byte[0]);
  }

 private:
  SequentialFile& file_;
};

}  // namespace

std::string QuitRequest() { return std::string("\x01\x00\x00", 3); }

void WriteQuitRequest(FileSystem& files) {
  files.WriteFile(kRequestCreateName, TextLine(QuitRequest()));
}

RequestLook LookForRequest(FileSystem& files) {
  RequestLook look;
  if (files.StoredName(kRequestOpenName) != kRequestCreateName) return look;
  look.not_a_file = files.NonFileKind(kRequestOpenName);
  look.present = look.not_a_file.empty();
  return look;
}

bool RequestPresent(FileSystem& files) { return LookForRequest(files).present; }

std::string ReadRequest(FileSystem& files) {
  std::unique_ptr<SequentialFile> file = files.OpenForReading(kRequestOpenName);
  FileByteSource source(*file);
  try {
    return DecodeRequest(source);
  } catch (const BadRequest& bad) {
    throw BadRequest(std::string(kRequestOpenName) + ": " + bad.what());
  }
}

void DeleteRequest(FileSystem& files) { files.DeleteFile(kRequestOpenName); }

}  // namespace zindo
