// The removal sequence and its handlers, one per kind of logged action.
#pragma once
#include <windows.h>

void RunRemoval();

void DeleteListedFiles(char* list);
void RemoveIniEntries(char* list);

HKEY HiveFromPrefix(const char* line);
void RemoveRegistryValues(char* list);
void RemoveRegistryKeys(char* list);

void RemoveListedDirectories(char* list);
void RemoveDirectoryIfEmpty(const char* directory);

void RunListedPrograms(char* list);
