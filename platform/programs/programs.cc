#include "platform/programs/programs.h"

#include <string_view>

namespace zindo {

std::vector<std::string> ArgumentsWithHandedPaths(
    const ProgramRun& run, const std::string& file_path,
    const std::string& folder_path) {
  std::vector<std::string> arguments = run.arguments;
  const std::string_view folder = kHandedFolder;
  for (std::string& argument : arguments) {
    if (argument == kHandedFile) argument = file_path;
    for (std::size_t at = argument.find(folder); at != std::string::npos;
         at = argument.find(folder, at + folder_path.size())) {
      argument.replace(at, folder.size(), folder_path);
    }
  }
  return arguments;
}

}  // namespace zindo
