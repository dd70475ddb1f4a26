// The two halves of the baseware interface, as the main window hands them to
// the SSTP sender: where ghosts are published, and how their windows are
// reached.
#pragma once

#include "platform/CopyData.h"
#include "platform/FmoSource.h"

namespace hollowmere {

struct TBaseware {
  IFmoSource& Fmo;
  IWindowMessaging& Windows;
};

}  // namespace hollowmere
