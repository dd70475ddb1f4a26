// Entry point of hollowmere-render; everything else is in RenderCommand.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/RenderCommand.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return hollowmere::RunRenderCommand(args, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
