// The named end-to-end cases. Each lays out its own installation (its own
// folder and registry keys), so the cases share one Wine prefix and run one
// after another.
#pragma once
#include <string>
#include <vector>

struct CaseContext {
    std::string program;  // the built vorsil.exe, as a Windows path
    std::string helpers;  // the folder of the test helper programs (marker.exe)
};

struct Case {
    const char* name;
    void (*run)(const CaseContext&);
    const char* summary;
};

const std::vector<Case>& AllCases();
const Case* FindCase(const std::string& name);
