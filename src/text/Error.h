// The base of every error the program reports to the user, and the one error
// the text layer raises itself. Every message is CP932 bytes, exactly the
// text the user is shown; the window converts it for display. Kept here, at
// the bottom of the layers, so that every subsystem can raise and catch
// these without reaching into the operating-system layer.
#pragma once

#include <stdexcept>
#include <string>

namespace hollowmere {

// Base of every error the program reports to the user.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that is not a valid integer: "'%s' is not a valid integer value".
class EConvertError : public Error {
 public:
  using Error::Error;
};

EConvertError InvalidIntegerError(const std::string& text);

}  // namespace hollowmere
