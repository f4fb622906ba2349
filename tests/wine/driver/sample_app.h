#pragma once
#include <string>

#include "installation.h"

// The sample installation of the demo and of the full-uninstall case: files
// (names with blanks and letters beyond ASCII), shortcuts, INI entries in the
// application's own INI file and in win.ini, registry values (a default value
// among them), nested keys and folders, a program run with arguments that is
// waited for and one that is not; and, beside them, things that are not the
// installer's and must stay.
Installation SampleApp(const std::string& folder = "C:\\Program Files\\Sample App",
                       const std::string& helpers = "");

// Where the sample's run programs leave their marks, and what each should say.
struct SampleMarker {
    std::string path;
    std::string expected;  // "<current directory>|<arguments>\r\n"
};
std::vector<SampleMarker> SampleMarkers(const std::string& folder, const std::string& helpers);
