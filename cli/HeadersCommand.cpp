// Placeholder until the command is built; replaced by its implementation.
#include <ostream>

#include "cli/Cli.h"

namespace velmor::cli {

int HeadersCommand(const std::vector<std::string>&, Console& console) {
  console.err << "velmorctl: dieser Befehl ist noch nicht verfügbar\n";
  return kExitFailed;
}

}  // namespace velmor::cli
