#include <unistd.h>

#include <iostream>

#include "cli/Cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  velmor::cli::Console console{std::cout, std::cerr, std::cin, isatty(STDIN_FILENO) == 1,
                               isatty(STDERR_FILENO) == 1};
  return velmor::cli::RunMain(args, console);
}
