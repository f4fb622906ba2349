// The sample installation of the demo and of the full-uninstall scenario:
// what an installer left on the machine and wrote into install.log, plus
// things it did not log (a user's document, another product's registry key),
// which the uninstall must leave alone.
#pragma once
#include "installation.h"

Installation SampleApp(const std::string& folder = "C:\\Program Files\\Sample App");
