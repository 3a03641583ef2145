#ifndef ZINDO_PLATFORM_PROGRAMS_LAUNCHER_H_
#define ZINDO_PLATFORM_PROGRAMS_LAUNCHER_H_

#include <string>

namespace zindo {

// Starts the companion program.
class Launcher {
 public:
  virtual ~Launcher() = default;

  // Starts the program that the program information file `pif_name` in the
  // working directory describes, with the working directory as its current
  // directory, in a normal window that takes the focus where there are
  // windows. Does not wait for it to end. Throws Error when the file is
  // missing or the program cannot be started.
  virtual void Launch(const std::string& pif_name) = 0;

  // Whether Launch runs the program that `pif_name` describes by itself.
  // Where it does not (a DOS program on a system without DOS), the relay
  // runs it in an emulator instead. A missing file counts as one Launch takes,
  // so that Launch reports it.
  virtual bool StartsItself(const std::string& pif_name) = 0;

  // Whether the system runs a DOS program by itself (Windows with its DOS
  // subsystem), so that Launch starts a DOS program information file as
  // the system's own launcher does. Where it does not, a file that
  // StartsItself passes may still be a PIF: one marked executable, as
  // every file is on some mounts.
  virtual bool RunsDosPrograms() = 0;
};

}  // namespace zindo

#endif  // ZINDO_PLATFORM_PROGRAMS_LAUNCHER_H_
