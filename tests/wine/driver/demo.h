// The demo: the sample installation uninstalled as a user would, narrated.
#pragma once
#include <string>

#include "cases.h"

// handshake: a folder where the demo announces the open progress window (file
// "progress-open", holding the window's screen rectangle "x y width height") and
// waits up to 20 s for "screenshot-taken" before it presses Close.
int RunDemo(const CaseContext& context, const std::string& handshake);
