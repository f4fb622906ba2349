// The state of the (Wine) machine the program runs on: files, folders, INI
// entries, registry, the lists of files to delete at the next restart, the
// Windows version Wine reports to a program, and the restart itself.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace machine {

std::string TempFolder();     // GetTempPathA: ends with a backslash
std::string WindowsFolder();  // no trailing backslash
std::string ShortPath(const std::string& path);
std::string FileNamePart(const std::string& path);
std::string ParentOf(const std::string& path);
// "/unix/path" as Wine's drive Z: sees it; Windows paths are returned unchanged.
std::string FromUnixPath(const std::string& path);
bool SamePath(const std::string& a, const std::string& b);  // ASCII case ignored

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool ReadFile(const std::string& path, std::string* content);
// Writes the file (creating its folders); content is written byte for byte.
bool WriteFile(const std::string& path, const std::string& content);
bool CopyFile(const std::string& from, const std::string& to);
bool CreateDirectories(const std::string& path);
// Removes a file or a folder with everything in it; true when it is gone.
bool RemoveTree(const std::string& path);
// Every file and folder below a folder, as full paths, sorted.
std::vector<std::string> ListTree(const std::string& folder);

// Registry. Roots are written as the four-letter forms HKLM, HKCU, HKCR, HKU.
HKEY RootOf(const std::string& fourLetters);
std::string RootName(HKEY root);
bool KeyExists(HKEY root, const std::string& subkey);
bool ValueExists(HKEY root, const std::string& subkey, const std::string& name);
bool SetValue(HKEY root, const std::string& subkey, const std::string& name, DWORD type,
              const std::string& data);
bool CreateKey(HKEY root, const std::string& subkey);
bool DeleteKeyTree(HKEY root, const std::string& subkey);

// INI entries through the profile functions (the cache is flushed first).
bool IniEntryExists(const std::string& file, const std::string& section, const std::string& key);
bool WriteIniEntry(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value);

// Deletion at restart on the NT family: the value PendingFileRenameOperations of
// HKLM\System\CurrentControlSet\Control\Session Manager, as (source, target) pairs
// exactly as stored ("\??\C:\..."; an empty target deletes the source).
typedef std::vector<std::pair<std::string, std::string>> RenameList;
RenameList PendingFileRenames();
bool SetPendingFileRenames(const RenameList& renames);  // an empty list removes the value
// Deletion at restart on the 95 family: the Windows folder's wininit.ini.
std::string WininitPath();
// The lines of wininit.ini's [Rename] section, as written in the file.
std::vector<std::string> WininitRenameLines(const std::string& wininitText);

// The Windows version Wine reports to programs of that file name ("win98",
// "winxp", ...); an empty version goes back to the prefix's default (NT).
bool SetReportedVersion(const std::string& programFileName, const std::string& version);

// Wine's start-up processing of a restart (wineboot -r): performs the
// PendingFileRenameOperations and the wininit.ini [Rename] lines.
bool Restart();

}  // namespace machine
