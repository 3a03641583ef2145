#include "exchange/response_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "exchange/file_names.h"

namespace zindo {

namespace {

// What every reply line starts with.
constexpr char kReplyMark[] = "/0";

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// Whether `content` could be the start of a reply line still being written.
bool CouldBeUnfinishedLine(const std::string& content) {
  const std::string mark = kReplyMark;
  const std::size_t mark_part = std::min(content.size(), mark.size());
  if (content.compare(0, mark_part, mark, 0, mark_part) != 0) return false;
  for (std::size_t i = mark_part; i < content.size(); ++i) {
    const char c = content[i];
    const bool last = i + 1 == content.size();
    if (!(IsDecimalDigit(c) || c == ',' || (c == '\r' && last))) return false;
  }
  return true;
}

uint8_t ParseReplyByte(const std::string& field, const std::string& line) {
  const bool digits = !field.empty() && field.size() <= 3 &&
                      std::all_of(field.begin(), field.end(),
                                  [](char c) { return IsDecimalDigit(c); });
  if (!digits || std::stoi(field) > 255) {  // three digits fit an int
    throw MalformedResponse("\"" + PrintableText(field) +
                            "\" is not a byte in the reply line \"" +
                            PrintableText(line) + "\"");
  }
  return static_cast<uint8_t>(std::stoi(field));
}

std::string ParseReplyLine(const std::string& line) {
  if (!line.starts_with(kReplyMark)) {
    throw MalformedResponse("the reply line \"" + PrintableText(line) +
                            "\" does not start with " + kReplyMark);
  }
  std::string reply;
  std::size_t at = std::string(kReplyMark).size();
  while (at < line.size()) {
    if (line[at] != ',') {
      throw MalformedResponse("the reply line \"" + PrintableText(line) +
                              "\" has no comma at character " +
                              std::to_string(at + 1));
    }
    const std::size_t end = std::min(line.find(',', at + 1), line.size());
    reply += static_cast<char>(
        ParseReplyByte(line.substr(at + 1, end - at - 1), line));
    at = end;
  }
  return reply;
}

}  // namespace

std::string ResponseText(const std::string& reply) {
  std::string text = kReplyMark;
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

std::optional<std::string> ParseResponse(const std::string& content) {
  const std::size_t line_end = content.find('\n');
  if (line_end == std::string::npos) {
    if (CouldBeUnfinishedLine(content)) return std::nullopt;
    throw MalformedResponse("\"" + PrintableText(content) +
                            "\" is not the start of a reply line");
  }
  if (line_end == 0 || content[line_end - 1] != '\r') {
    throw MalformedResponse("the reply line does not end with CR LF: \"" +
                            PrintableText(content) + "\"");
  }
  if (line_end + 1 != content.size()) {
    throw MalformedResponse("more follows the reply line: \"" +
                            PrintableText(content) + "\"");
  }
  return ParseReplyLine(content.substr(0, line_end - 1));
}

std::string PrintableText(const std::string& content) {
  std::string text;
  for (char c : content) {
    if (c >= ' ' && c <= '~') {
      text += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X",
                    static_cast<unsigned char>(c));
      text += escaped;
    }
  }
  return text;
}

}  // namespace zindo
