// The fixed simulated machine the fuzz targets run on, and their oracle.
//
// The machine holds an installed application that logs can name (its files,
// shortcut, INI entries, registry values and keys, directories) and canaries
// that no installer wrote: a user's files and folders, foreign subkeys and
// values, other programs' INI entries. Every item of the machine is checked
// after a run: an item whose name does not occur in the input (ASCII case
// ignored) must still be there, unchanged. The installation log and the
// installed program file are the only things the program removes unnamed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The input of the current run, kept for the oracle and the platform checks.
void SetFuzzInput(const uint8_t* data, size_t size);
const std::string& FuzzInput();
// Whether the input holds text, ASCII letters compared without regard to case.
bool InputNames(const std::string& text);
// Whether the input holds text exactly as it is: a string that came from the
// input unchanged.
bool InputHolds(const char* text);

// A fresh machine with the application installed, its log holding logText.
void BuildFuzzWorld(const std::string& logText, bool ntPlatform);

// Aborts, naming the item, when one that the input does not name was removed
// or changed.
void CheckWorld();

// Reports a broken promise and aborts, so that the fuzzer keeps the input.
[[noreturn]] void FuzzFailure(const std::string& what);
