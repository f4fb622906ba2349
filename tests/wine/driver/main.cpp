// The end-to-end driver. Runs inside Wine and drives the real vorsil.exe as a
// user would.
//
//   e2e list                                   the case names, one a line
//   e2e run CASE... --program PATH [--helpers DIR]
//   e2e demo --program PATH [--handshake DIR]  the sample installation, narrated
//
// Paths may be Unix paths (seen through drive Z:). The exit code is 0 only when
// every check passed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cases.h"
#include "check.h"
#include "demo.h"
#include "machine.h"
#include "processes.h"

namespace {

// No case may hang the test run: after this long the driver reports the
// failure, ends the program's processes and exits.
const DWORD kWatchdogMs = 150000;
std::string g_programName = "vorsil.exe";

DWORD WINAPI Watchdog(LPVOID) {
    Sleep(kWatchdogMs);
    check::That(false, "the run finishes within " + std::to_string(kWatchdogMs / 1000) + " s");
    processes::KillAllNamed(g_programName);
    processes::KillAllNamed("Uninstall Sample App.exe");
    std::fflush(stdout);
    check::Finish();
    ExitProcess(1);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: e2e list\n"
                 "       e2e run CASE... --program PATH [--helpers DIR]\n"
                 "       e2e demo --program PATH [--helpers DIR] [--handshake DIR]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) return Usage();
    std::string command = argv[1];
    std::vector<std::string> names;
    CaseContext context;
    std::string handshake;
    for (int i = 2; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--program" && i + 1 < argc) context.program = machine::FromUnixPath(argv[++i]);
        else if (argument == "--helpers" && i + 1 < argc) context.helpers = machine::FromUnixPath(argv[++i]);
        else if (argument == "--handshake" && i + 1 < argc) handshake = machine::FromUnixPath(argv[++i]);
        else if (!argument.empty() && argument[0] == '-') return Usage();
        else names.push_back(argument);
    }

    if (command == "list") {
        for (const Case& c : AllCases()) std::printf("%-28s %s\n", c.name, c.summary);
        return 0;
    }
    if (context.program.empty()) return Usage();
    CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
    check::Info("program under test: %s (ANSI code page %u)", context.program.c_str(), GetACP());
    if (!check::That(machine::FileExists(context.program), "the program under test exists", context.program))
        return check::Finish();

    if (command == "demo") return RunDemo(context, handshake);
    if (command != "run" || names.empty()) return Usage();
    for (const std::string& name : names) {
        const Case* c = FindCase(name);
        if (!c) {
            check::That(false, "case " + name + " exists");
            continue;
        }
        check::BeginCase(c->name);
        c->run(context);
    }
    return check::Finish();
}
