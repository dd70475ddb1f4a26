// A helper program run by a test, with its standard input and output on
// pipes: the test writes command lines and reads what it printed. It is
// ended (SIGTERM, then SIGKILL) and reaped when the object goes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace hollowmere::testing {

class ChildProcess {
 public:
  // `program` with `args`; false from Running() when it could not start.
  ChildProcess(const std::string& program, const std::vector<std::string>& args);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Running() const { return pid_ > 0; }
  // Writes one line (a "\n" is added).
  bool WriteLine(const std::string& line);
  // Reads whatever the program has printed so far, without waiting.
  void Poll();
  // Everything printed so far (after the last Poll).
  const std::string& Output() const { return output_; }
  bool Printed(const std::string& text) const { return output_.find(text) != std::string::npos; }
  // How often `text` occurs in the output.
  std::size_t Count(const std::string& text) const;

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string output_;
};

}  // namespace hollowmere::testing
