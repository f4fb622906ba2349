// Reading the sections of the installation log into the one section buffer.
#pragma once
#include <windows.h>

// The size the buffer starts with; it grows only for a section that does not fit.
const DWORD SECTION_BUFFER_SIZE = 31744;

// Announces the section with the status line of messageId, then reads it.
// Returns the list of its lines: terminated texts ended by an empty one.
char* ReadLogSection(int messageId, const char* section);
// The same without a status line (the run-program sections).
char* ReadLogSectionQuietly(const char* section);

// The line after this one, or an empty text at the end of the list.
char* NextLine(char* line);

// For lists handled from the end: the last line, and the one before a line
// (nullptr when there is none).
char* LastLine(char* list);
char* PreviousLine(char* list, char* line);

// The number of lines in a list.
unsigned LineCount(char* list);

// Calls handle with each line cut at its first "=" (the path or name before
// it), in list order or from the last line to the first; each line is whole
// again afterwards. The progress window counts the lines of a long section.
void ForEachEntry(char* list, void (*handle)(char* entry));
void ForEachEntryBackwards(char* list, void (*handle)(char* entry));
