// Entry point of hollowmere-archive; everything else is in ArchiveCommand.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/ArchiveCommand.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return hollowmere::RunArchiveCommand(args, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
