// zindo-mkpif: writes the DOS program information file (PIF) from which the
// relay starts the companion, or shows what an existing one says.
//
//   zindo-mkpif OUTPUT PROGRAM [--dir START_DIR] [--params PARAMS]
//   zindo-mkpif --show FILE

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/program_information.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage: zindo-mkpif OUTPUT PROGRAM [--dir START_DIR] [--params PARAMS]\n"
    "       zindo-mkpif --show FILE\n"
    "PROGRAM is a DOS path to a .COM, .EXE or .BAT file (C:\\DIR\\PROG.EXE\n"
    "or PROG.EXE); without --dir the relay starts it in its own working\n"
    "directory.\n";

void Say(const std::string& line) {
  std::fprintf(stderr, "zindo-mkpif: %s\n", line.c_str());
}

int Usage(const std::string& complaint) {
  Say(complaint);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw zindo::Error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int Show(const std::string& path) {
  zindo::ProgramInformation information =
      zindo::ParseProgramInformation(ReadWholeFile(path), path);
  std::printf("program: %s\nstart directory: %s\nparameters: %s\n",
              information.program.c_str(), information.start_directory.c_str(),
              information.parameters.c_str());
  return kExitDone;
}

int Write(const std::string& path,
          const zindo::ProgramInformation& information) {
  std::string bytes = zindo::BuildProgramInformation(information);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) ||
      !out.flush()) {
    throw zindo::Error("cannot write " + path);
  }
  return kExitDone;
}

int Run(const std::vector<std::string>& arguments) {
  if (arguments.size() == 2 && arguments[0] == "--show") {
    return Show(arguments[1]);
  }
  if (arguments.size() < 2) return Usage("an output file and a program");
  zindo::ProgramInformation information{arguments[1], "", ""};
  for (std::size_t i = 2; i < arguments.size(); i += 2) {
    if (i + 1 >= arguments.size()) {
      return Usage(arguments[i] + " needs a value");
    }
    if (arguments[i] == "--dir") {
      information.start_directory = arguments[i + 1];
    } else if (arguments[i] == "--params") {
      information.parameters = arguments[i + 1];
    } else {
      return Usage("unknown option " + arguments[i]);
    }
  }
  return Write(arguments[0], information);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.empty() || arguments[0] == "--help") {
    std::fputs(kUsage, arguments.empty() ? stderr : stdout);
    return arguments.empty() ? kExitUsage : kExitDone;
  }
  try {
    return Run(arguments);
  } catch (const zindo::Error& failure) {
    Say(failure.what());
    return kExitFailed;
  }
}
