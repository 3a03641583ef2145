#ifndef ZINDO_DOS_IDLE_HELPER_H_
#define ZINDO_DOS_IDLE_HELPER_H_

#include <string_view>

namespace zindo {

// The idle helper (dos/idle_helper.asm), a resident DOS program that the
// relay loads into DOSBox before the companion: while the companion polls
// for the relay's response or status file and does not find it, DOSBox
// idles until the next timer tick instead of answering again at once.
inline constexpr char kIdleHelperName[] = "IDLEHELP.COM";

// The helper's bytes, assembled by the build.
std::string_view IdleHelperProgram();

}  // namespace zindo

#endif  // ZINDO_DOS_IDLE_HELPER_H_
