// The table of every text the user sees; the log's [Strings] section can replace each one.
#pragma once
#include <windows.h>

const int MESSAGE_COUNT = 23;
// Longest override text kept, terminator included.
const unsigned MESSAGE_TEXT_SIZE = 256;

const int MSG_CAPTION = 0;
const int MSG_LOG_NOT_FOUND = 2;
const int MSG_CONFIRM = 3;
const int MSG_FINISHED = 4;
const int MSG_REMOVING_FILES = 5;
const int MSG_REMOVING_VALUES = 6;
const int MSG_REMOVING_KEYS = 7;
const int MSG_REMOVING_INI = 8;
const int MSG_REMOVING_SHORTCUTS = 9;
const int MSG_REMOVING_DIRECTORIES = 10;
const int MSG_NO_SAFE_COPY = 11;
const int MSG_FILES_IN_USE = 12;
const int MSG_REMOVED_AT_RESTART = 13;
const int MSG_NOT_REMOVED = 14;
const int MSG_RESTART_NOW = 15;
const int MSG_ORDINARY_RIGHTS = 16;
const int MSG_TRIAL_COUNTS = 17;
const int MSG_NOTHING_CHANGED = 18;
const int MSG_REPORT_NOT_WRITTEN = 19;
const int MSG_IN_USE = 20;
const int MSG_CLOSE = 22;

// The current text of a slot, or nullptr for a slot without text.
const char* MessageText(int id);

// Reads [Strings] keys "1" to "23" from the log; missing or empty values keep
// the built-in text.
void LoadMessageOverrides(const char* logPath);
