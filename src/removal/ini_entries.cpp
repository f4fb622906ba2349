#include "log_section.h"
#include "removal.h"
#include "text.h"

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
    bool removed = entry[0] == '\0' || section[0] == '\0' || key[0] == '\0' ||
                   WritePrivateProfileStringA(section, key, nullptr, entry);
    DWORD error = removed ? ERROR_SUCCESS : GetLastError();
    *firstComma = ',';
    *secondComma = ',';
    KeepItemNotRemoved(entry, error);
}

void RemoveIniEntries(char* list)
{
    ForEachEntry(list, RemoveIniEntry);
}
