// Process set-up that must happen before the QApplication exists, shared by
// the program and its window tests.
#pragma once

namespace hollowmere::qt {

// Run as root, the web engine refuses to start with its sandbox on: turn the
// sandbox off (saying so once on standard error). Also keeps the engine's own
// background traffic off the network.
void PrepareWebEngineEnvironment();

}  // namespace hollowmere::qt
