#ifndef ZINDO_BASE_PROGRAM_NAME_H_
#define ZINDO_BASE_PROGRAM_NAME_H_

#include <string>

namespace zindo {

// The relay's name, as the user sees it: the title of every message box it
// shows, the start of every diagnostic line, and what --version answers.
inline constexpr char kProgramName[] = "zindo-relay";

// `line` as the relay's diagnostic: "zindo-relay: " and the line.
inline std::string DiagnosticLine(const std::string& line) {
  return std::string(kProgramName) + ": " + line;
}

}  // namespace zindo

#endif  // ZINDO_BASE_PROGRAM_NAME_H_
