#ifndef ZINDO_PLATFORM_PROGRAM_NAME_H_
#define ZINDO_PLATFORM_PROGRAM_NAME_H_

namespace zindo {

// The relay's name, as the user sees it: the title of every message box it
// shows, the start of every diagnostic line, and what --version answers.
inline constexpr char kProgramName[] = "zindo-relay";

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PROGRAM_NAME_H_
