// Fuzz target: each line handler over an arbitrary section.
//
// The first byte of the input picks the handler; the rest becomes the list of
// lines as the section reader leaves it: its bytes (a NUL ends a line) in a
// buffer of exactly their size plus the list's two terminators, so that a
// read past the list's end shows. The handlers run in the fixed machine of
// fuzz_world.h, on the 95 family when the selector byte is odd.
#include "fuzz_world.h"

#include "removal.h"

#include <cstring>
#include <vector>

namespace {

enum Handler {
    DELETE_FILES,
    REMOVE_INI_ENTRIES,
    REMOVE_VALUES,
    REMOVE_KEYS,
    REMOVE_DIRECTORIES,
    RUN_PROGRAMS,
    HIVE_FROM_PREFIX,
    HANDLER_COUNT
};

// The rule for the root of a registry line: its first four characters, bit
// 0x20 cleared, are one of the five abbreviations.
HKEY ExpectedHive(const char* line)
{
    char prefix[5] = {};
    for (int i = 0; i < 4; ++i) {
        if (line[i] == '\0')
            return nullptr;
        prefix[i] = char(line[i] & ~0x20);
    }
    if (std::strcmp(prefix, "HKCR") == 0)
        return HKEY_CLASSES_ROOT;
    if (std::strcmp(prefix, "HKCU") == 0)
        return HKEY_CURRENT_USER;
    if (std::strcmp(prefix, "HKLM") == 0)
        return HKEY_LOCAL_MACHINE;
    if (std::strcmp(prefix, "HKCC") == 0)
        return HKEY_CURRENT_CONFIG;
    if (std::strcmp(prefix, "HKDD") == 0)
        return HKEY_DYN_DATA;
    return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    SetFuzzInput(data, size);
    Handler handler = Handler(data[0] % HANDLER_COUNT);
    BuildFuzzWorld("", data[0] % 2 == 0);

    std::vector<char> list(data + 1, data + size);
    list.push_back('\0');
    list.push_back('\0');
    // A heap copy of exactly the list's size: the vector may hold more.
    char* buffer = new char[list.size()];
    std::memcpy(buffer, list.data(), list.size());

    switch (handler) {
    case DELETE_FILES:
        DeleteListedFiles(buffer);
        break;
    case REMOVE_INI_ENTRIES:
        RemoveIniEntries(buffer);
        break;
    case REMOVE_VALUES:
        RemoveRegistryValues(buffer);
        break;
    case REMOVE_KEYS:
        RemoveRegistryKeys(buffer);
        break;
    case REMOVE_DIRECTORIES:
        RemoveListedDirectories(buffer);
        break;
    case RUN_PROGRAMS:
        RunListedPrograms(buffer);
        break;
    case HIVE_FROM_PREFIX:
        if (HiveFromPrefix(buffer) != ExpectedHive(buffer))
            FuzzFailure("HiveFromPrefix maps the line to another root than its first four characters name");
        break;
    default:
        break;
    }

    // Lines are split in place and put together again; only the directory
    // handler may leave its changes in the buffer.
    if (handler != REMOVE_DIRECTORIES && std::memcmp(buffer, list.data(), list.size()) != 0)
        FuzzFailure("the handler left the list changed");
    delete[] buffer;
    CheckWorld();
    return 0;
}
