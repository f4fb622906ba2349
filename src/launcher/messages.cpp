#include "messages.h"
#include "text.h"

// The built-in texts in slot order, each ended by a terminator; an empty one
// is a slot without text. One text rather than a table of pointers keeps the
// program smaller.
static const char BUILT_IN_MESSAGES[] =
    "Uninstall\0"
    "\0"
    "Installation log file install.log not found!\0"
    "Are you sure you want to completely remove Program and all of its components?\0"
    "Uninstall is finished.\0"
    "Removing files...\0"
    "Removing registry values...\0"
    "Removing registry keys...\0"
    "Removing ini-entries...\0"
    "Removing shortcuts...\0"
    "Removing directories...\0"
    "The uninstaller could not prepare its temporary copy. Close other programs and try again.\0"
    "These programs are using files that must be removed. Close them, then click Retry. Click Cancel to leave "
    "those files; they are removed when Windows restarts.\0"
    "Removed when Windows restarts:\0"
    "Not removed:\0"
    "Windows must be restarted to finish removing the program. Restart now?\0"
    "The installation log can be changed without administrator rights, so it is used with an ordinary user's rights.\0"
    "Listed items that would be removed, and that would stay:\0"
    "Nothing was changed.\0"
    "Report not written:\0"
    "In use:\0"
    "\0"
    "Close";

// Texts from the log's [Strings] section; an empty one means the built-in text stands.
static char g_messageOverrides[MESSAGE_COUNT][MESSAGE_TEXT_SIZE];

const char* MessageText(int id)
{
    if (id < 0 || id >= MESSAGE_COUNT)
        return nullptr;
    if (g_messageOverrides[id][0] != '\0')
        return g_messageOverrides[id];
    const char* text = NthText(BUILT_IN_MESSAGES, id);
    return *text != '\0' ? text : nullptr;
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
