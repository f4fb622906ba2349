#include "messages.h"
#include "text.h"

static const char* const BUILT_IN_MESSAGES[MESSAGE_COUNT] = {
    "Uninstall",
    nullptr,
    "Installation log file install.log not found!",
    "Are you sure you want to completely remove Program and all of its components?",
    "Uninstall is finished.",
    "Removing files...",
    "Removing registry values...",
    "Removing registry keys...",
    "Removing ini-entries...",
    "Removing shortcuts...",
    "Removing directories...",
    "The uninstaller could not prepare its temporary copy. Close other programs and try again.",
    nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr,
    "Close",
};

// Texts from the log's [Strings] section; an empty one means the built-in text stands.
static char g_messageOverrides[MESSAGE_COUNT][MESSAGE_TEXT_SIZE];

const char* MessageText(int id)
{
    if (id < 0 || id >= MESSAGE_COUNT)
        return nullptr;
    if (g_messageOverrides[id][0] != '\0')
        return g_messageOverrides[id];
    return BUILT_IN_MESSAGES[id];
}

void LoadMessageOverrides(const char* logPath)
{
    for (int id = 0; id < MESSAGE_COUNT; ++id) {
        char key[11];
        FormatDecimal(key, unsigned(id + 1));
        // One byte short of the buffer, so an over-long value still ends in the buffer's own terminator.
        (void)GetPrivateProfileStringA("Strings", key, "", g_messageOverrides[id],
                                       MESSAGE_TEXT_SIZE - 1, logPath);
    }
}
