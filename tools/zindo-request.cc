// zindo-request: the companion's side of the exchange with zindo-relay, on
// the command line. It leaves a request file in the companion's working
// directory as the companion does, can wait for the relay's reply, and tells
// what a request file would make the relay send. `zindo-request --help`
// describes its use.

#include <cstdio>
#include <exception>
#include <string>
#include <variant>

#include "exchange/file_names.h"
#include "exchange/request_decoder.h"
#include "exchange/request_encoder.h"
#include "exchange/request_file.h"
#include "platform/files/file_system-posix.h"
#include "tools/request_tool.h"
#include "tools/tool_support.h"

namespace {

using zindo::tools::kExitDone;
using zindo::tools::kExitFailed;
using zindo::tools::RequestOptions;
using zindo::tools::Task;

constexpr char kProgram[] = "zindo-request";

void Say(const std::string& line) {
  std::fprintf(stderr, "%s: %s\n", kProgram, line.c_str());
}

// A ByteSource that counts what the decoder took, to tell what it left.
class CountingSource : public zindo::ByteSource {
 public:
  explicit CountingSource(const std::string& bytes) : bytes_(bytes) {}
  std::optional<uint8_t> Next() override {
    if (taken_ >= bytes_.size()) return std::nullopt;
    return static_cast<uint8_t>(bytes_[taken_++]);
  }
  std::size_t left() const { return bytes_.size() - taken_; }

 private:
  const std::string& bytes_;
  std::size_t taken_ = 0;
};

int Decode(const std::string& path) {
  const std::string file = zindo::ReadWholeFile(path);
  CountingSource source(file);
  std::string message;
  try {
    message = zindo::DecodeRequest(source);
  } catch (const zindo::BadRequest& bad) {
    Say(path + ": the relay refuses it: " + bad.what());
    return kExitFailed;
  }
  std::printf("%s\n", zindo::tools::DecimalList(message).c_str());
  if (message == zindo::QuitRequest()) {
    Say(path + ": this is the quit request: the relay ends");
  }
  if (source.left() > 0) {
    Say(path + ": the relay does not read the " +
        std::to_string(source.left()) + " bytes after the request");
  }
  return kExitDone;
}

std::string RequestContent(const RequestOptions& options) {
  switch (options.task) {
    case Task::kQuit:
      return zindo::TextLine(zindo::QuitRequest());
    case Task::kSendRaw:
      return options.bytes;
    default:
      return zindo::EncodeRequest(options.bytes);
  }
}

// Writes the request and, when asked, waits for what the relay does with it.
// The files the relay answers in are looked at before the request is
// written, so that an answer however quick is told from what was there.
int Send(const RequestOptions& options) {
  const std::string content = RequestContent(options);
  const std::string& directory = options.directory;
  const bool quit = options.task == Task::kQuit;
  zindo::tools::FileState before;
  if (options.wait_seconds.has_value()) {
    before = zindo::tools::ReadFileState(
        directory, quit ? zindo::kStatusFileName : zindo::kResponseFileName);
  }
  try {
    zindo::tools::WriteRequestFile(directory, content, options.force);
  } catch (const zindo::tools::RequestWaiting& waiting) {
    Say(std::string(waiting.what()) + " (--force replaces it)");
    return kExitFailed;
  }
  if (!options.wait_seconds.has_value()) return kExitDone;
  const double limit_seconds = *options.wait_seconds;
  if (quit) {
    zindo::tools::WaitForStop(directory, before, limit_seconds);
  } else {
    const std::string reply =
        zindo::tools::WaitForReply(directory, before, limit_seconds);
    std::printf("%s\n", zindo::tools::DecimalList(reply).c_str());
  }
  return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  auto read = zindo::tools::ReadCommandLine(
      argc, argv, zindo::tools::RequestToolOptions(), kProgram,
      zindo::tools::UsageText(), zindo::tools::ReadRequestOptions);
  if (const int* status = std::get_if<int>(&read)) return *status;
  const RequestOptions& options = std::get<RequestOptions>(read);
  try {
    return options.task == Task::kDecode ? Decode(options.decode_path)
                                         : Send(options);
  } catch (const std::exception& failure) {
    Say(failure.what());
    return kExitFailed;
  }
}
