#include "log_section.h"
#include "launcher.h"
#include "progress.h"
#include "report.h"
#include "text.h"

// Past this the log is not an installer's; what fits is handled.
static const DWORD SECTION_BUFFER_LIMIT = 64 * 1024 * 1024;

static char* g_sectionBuffer;
static DWORD g_sectionBufferSize;
// Stands in for a section when no buffer can be had.
static char g_emptyList[2];

static bool GrowSectionBuffer(DWORD size)
{
    HANDLE heap = GetProcessHeap();
    char* buffer = static_cast<char*>(HeapAlloc(heap, 0, size));
    if (buffer == nullptr)
        return false;
    if (g_sectionBuffer != nullptr)
        (void)HeapFree(heap, 0, g_sectionBuffer);
    g_sectionBuffer = buffer;
    g_sectionBufferSize = size;
    return true;
}

char* ReadLogSectionQuietly(const char* section)
{
    g_section = section;
    if (g_sectionBuffer == nullptr && !GrowSectionBuffer(SECTION_BUFFER_SIZE))
        return g_emptyList;
    for (;;) {
        DWORD length = GetPrivateProfileSectionA(section, g_sectionBuffer, g_sectionBufferSize, g_logPath);
        // The profile reader says it cut the section short by filling the buffer to size - 2.
        if (length < g_sectionBufferSize - 2)
            return g_sectionBuffer;
        if (g_sectionBufferSize > SECTION_BUFFER_LIMIT / 2 || !GrowSectionBuffer(g_sectionBufferSize * 2))
            return g_sectionBuffer;
        // A large section takes several reads; the window answers between them.
        DispatchWaitingMessages();
    }
}

char* ReadLogSection(int messageId, const char* section)
{
    AddStatusLine(messageId);
    return ReadLogSectionQuietly(section);
}

char* NextLine(char* line)
{
    return line + TextLength(line) + 1;
}

char* LastLine(char* list)
{
    char* last = nullptr;
    for (char* line = list; *line != '\0'; line = NextLine(line))
        last = line;
    return last;
}

char* PreviousLine(char* list, char* line)
{
    if (line == list)
        return nullptr;
    char* start = line - 1; // the terminator of the line before
    while (start > list && start[-1] != '\0')
        --start;
    return start;
}

static void HandleEntry(char* line, void (*handle)(char* entry))
{
    char* equals = FindChar(line, '=');
    if (equals != nullptr)
        *equals = '\0';
    handle(line);
    if (equals != nullptr)
        *equals = '=';
}

unsigned LineCount(char* list)
{
    unsigned count = 0;
    for (char* line = list; *line != '\0'; line = NextLine(line))
        ++count;
    return count;
}

void ForEachEntry(char* list, void (*handle)(char* entry))
{
    StartCounting(LineCount(list));
    for (char* line = list; *line != '\0'; line = NextLine(line)) {
        HandleEntry(line, handle);
        NoteItemDone();
    }
    StopCounting();
}

void ForEachEntryBackwards(char* list, void (*handle)(char* entry))
{
    StartCounting(LineCount(list));
    for (char* line = LastLine(list); line != nullptr; line = PreviousLine(list, line)) {
        HandleEntry(line, handle);
        NoteItemDone();
    }
    StopCounting();
}
