#include "log_section.h"
#include "removal.h"
#include "report.h"
#include "text.h"

// The profile functions give the default only for a missing key, and no
// value holds a control character alone.
static bool IniEntryExists(const char* file, const char* section, const char* key)
{
    char value[2];
    (void)GetPrivateProfileStringA(section, key, "\x01", value, sizeof value, file);
    return value[0] != '\x01';
}

// A line "file,section,key=value": the key goes from that section of that file.
static void RemoveIniEntry(char* entry)
{
    char* firstComma = FindChar(entry, ',');
    char* secondComma = firstComma ? FindChar(firstComma + 1, ',') : nullptr;
    if (secondComma == nullptr)
        return;
    *firstComma = '\0';
    *secondComma = '\0';
    const char* section = firstComma + 1;
    const char* key = secondComma + 1;
    // An empty name would make the profile functions pick a file, section or key the log did not name.
    DWORD error = ERROR_INVALID_NAME;
    if (entry[0] != '\0' && section[0] != '\0' && key[0] != '\0') {
        if (ShouldAct())
            error = WritePrivateProfileStringA(section, key, nullptr, entry) ? ERROR_SUCCESS : GetLastError();
        else
            error = IniEntryExists(entry, section, key) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    }
    *firstComma = ',';
    *secondComma = ',';
    KeepItemNotRemoved(entry, error);
}

void RemoveIniEntries(char* list)
{
    ForEachEntry(list, RemoveIniEntry);
}
