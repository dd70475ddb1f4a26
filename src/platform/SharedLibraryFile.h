// Whether a file is a complete shared library for this machine, checked
// before the dynamic loader sees it: the loader maps a library's segments
// straight from the file, and a segment that reaches past the end of a cut
// file faults (SIGBUS) inside the loader, ending the program. A file passes
// when its ELF header is that of a shared library of this program's class,
// byte order and machine, and its program header table and every segment it
// describes lie within the file.
#pragma once

#include <optional>
#include <string>

namespace hollowmere {

// Why the file at `nativePath` (the file system's own spelling) cannot be a
// library for this program, in plain English for the trace channel; nullopt
// when it can.
std::optional<std::string> SharedLibraryProblem(const std::string& nativePath);

}  // namespace hollowmere
