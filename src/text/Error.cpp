// Message text of the text layer's own error.
#include "text/Error.h"

namespace hollowmere {

EConvertError InvalidIntegerError(const std::string& text) {
  return EConvertError("'" + text + "' is not a valid integer value");
}

}  // namespace hollowmere
