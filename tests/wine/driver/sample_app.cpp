#include "sample_app.h"

#include "machine.h"

namespace {

std::string Documents() { return "C:\\users\\Public\\Documents"; }

// The run programs: one waited for, with arguments and a working directory;
// one not waited for (its directory is outside the installation, which it
// must not keep in use while the folders are removed).
std::string WaitedMarker(const std::string& name) { return Documents() + "\\" + name + " cleanup.txt"; }
std::string UnwaitedMarker(const std::string& name) { return Documents() + "\\" + name + " farewell.txt"; }

}  // namespace

std::vector<SampleMarker> SampleMarkers(const std::string& folder, const std::string& helpers) {
    if (helpers.empty()) return {};
    const std::string name = machine::FileNamePart(folder);
    return {{WaitedMarker(name), folder + "|/cleanup --all\r\n"},
            {UnwaitedMarker(name), Documents() + "|goodbye\r\n"}};
}

Installation SampleApp(const std::string& folder, const std::string& helpers) {
    Installation app(folder);
    // Names follow the folder's, so installations in other folders do not meet.
    const std::string name = machine::FileNamePart(folder);
    const std::string windows = machine::WindowsFolder();
    const std::string menu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\" + name;
    const std::string desktopLink = "C:\\users\\Public\\Desktop\\" + name + ".lnk";
    const std::string letter = Documents() + "\\" + name + " letter.txt";
    const std::string appIni = windows + "\\" + name + ".ini";
    const std::string vendorKey = "Software\\" + name + " Vendor";
    const std::string appKey = vendorKey + "\\" + name;
    const std::string commandKey = appKey + "\\Shell\\Open\\Command";
    const std::string otherProduct = name + " Other Product";
    // "Übersicht für Benutzer.txt" in the ANSI code page.
    const std::string overview = folder + "\\help\\\xDC" "bersicht f\xFC" "r Benutzer.txt";

    // Files and folders the installer made.
    app.AddDirectory(folder + "\\data");
    app.AddDirectory(folder + "\\data\\templates");
    app.AddDirectory(folder + "\\help");
    app.AddFile(folder + "\\Sample App.exe", "MZ sample program\r\n");
    app.AddFile(folder + "\\readme.txt", "Sample App 1.0\r\n");
    app.AddFile(folder + "\\data\\settings.ini", "[General]\r\nLanguage=en\r\n");
    app.AddFile(folder + "\\data\\templates\\letter.dot", "template\r\n");
    app.AddFile(folder + "\\help\\manual.txt", "How to use Sample App\r\n");
    app.AddFile(overview, "\xDC" "bersicht\r\n");
    app.AddDirectory(menu);
    app.AddFile(menu + "\\Sample App.lnk", "shortcut\r\n");
    app.AddFile(desktopLink, "shortcut\r\n");
    app.AddIniEntry(windows + "\\win.ini", name, "Path", folder);
    app.AddIniEntry(appIni, "Settings", "Language", "en");
    app.AddIniEntry(appIni, "Settings", "Theme", "dark, with commas");
    app.AddRegistryKey(HKEY_CURRENT_USER, vendorKey);
    app.AddRegistryKey(HKEY_CURRENT_USER, appKey);
    app.AddRegistryKey(HKEY_CURRENT_USER, commandKey);
    app.AddRegistryValue(HKEY_CURRENT_USER, appKey, "InstallDir", REG_SZ, folder);
    app.AddRegistryValue(HKEY_CURRENT_USER, appKey, "Version", REG_SZ, "1.0");
    app.AddRegistryValue(HKEY_CURRENT_USER, appKey, "", REG_SZ, "Sample App");
    app.AddRegistryValue(HKEY_CURRENT_USER, commandKey, "", REG_SZ, "\"" + folder + "\\Sample App.exe\" \"%1\"");

    // Things that are not the installer's: they must survive.
    app.AddFile(letter, "Dear reader,\r\n");
    app.AddRegistryValue(HKEY_CURRENT_USER, vendorKey + "\\Other Product", "Version", REG_SZ, "2.0");
    app.AddRegistryValue(HKEY_CURRENT_USER, vendorKey, "Support", REG_SZ, "kept");
    app.AddIniEntry(windows + "\\win.ini", otherProduct, "Path", "C:\\Program Files\\Other Product");
    app.AddIniEntry(appIni, "Settings", "UserColour", "blue");
    app.AddCleanup(Item::Key(HKEY_CURRENT_USER, vendorKey));
    app.AddCleanup(Item::DirectoryAt(menu));
    app.AddCleanup(Item::FileAt(letter));
    app.AddCleanup(Item::FileAt(appIni));
    for (const SampleMarker& marker : SampleMarkers(folder, helpers)) app.AddCleanup(Item::FileAt(marker.path));

    // install.log, in the order the installer did things.
    app.LogString(1, "Uninstall Sample App");
    app.LogString(4, "Are you sure you want to completely remove Sample App and all of its components?");
    if (!helpers.empty()) {
        const std::string marker = helpers + "\\marker.exe";
        app.LogLine("Uninstall.PreRunApp", "1=" + marker + ",\"" + WaitedMarker(name) + "\" /cleanup --all," +
                                               folder + ",0,Cleaning up Sample App...,1");
        app.LogLine("Uninstall.RunApp",
                    "1=" + marker + ",\"" + UnwaitedMarker(name) + "\" goodbye," + Documents() + ",3,Saying goodbye,0");
    }
    for (const char* file : {"\\Sample App.exe", "\\readme.txt", "\\data\\settings.ini",
                             "\\data\\templates\\letter.dot", "\\help\\manual.txt"})
        app.LogLine("CopyFiles", folder + file + "=1");
    app.LogLine("CopyFiles", overview);
    app.LogLine("Shortcuts", menu + "\\Sample App.lnk");
    app.LogLine("Shortcuts", desktopLink + "=1");
    app.LogLine("AddIni", "win.ini," + name + ",Path=" + folder);
    app.LogLine("AddIni", appIni + ",Settings,Language=en");
    app.LogLine("AddIni", appIni + ",Settings,Theme=dark, with commas");
    app.LogLine("AddReg", "HKCU\\" + appKey + "\\InstallDir=" + folder);
    app.LogLine("AddReg", "HKCU\\" + appKey + "\\Version=1.0");
    app.LogLine("AddReg", "HKCU\\" + appKey + "\\=Sample App");
    app.LogLine("CreateKeys", "HKCU\\" + vendorKey);
    app.LogLine("CreateKeys", "HKCU\\" + appKey);
    app.LogLine("CreateKeys", "HKCU\\" + appKey + "\\Shell");
    app.LogLine("CreateKeys", "HKCU\\" + appKey + "\\Shell\\Open");
    app.LogLine("CreateKeys", "HKCU\\" + commandKey);
    for (const std::string& directory :
         {folder, folder + "\\data", folder + "\\data\\templates", folder + "\\help", menu})
        app.LogLine("CreateDirs", directory + "=1");

    // What the uninstall is to remove, and what it must leave: everything not
    // the installer's, and the vendor key, which still holds Other Product.
    for (const Item& item : app.Items()) {
        bool foreign = item.path == letter || item.path.find("Other Product") != std::string::npos ||
                       (item.kind == Item::IniEntry && (item.name == otherProduct || item.key == "UserColour")) ||
                       (item.kind == Item::RegistryKey && item.path == vendorKey) ||
                       (item.kind == Item::RegistryValue && item.name == "Support");
        if (foreign) app.ExpectKept(item);
        else app.ExpectGone(item);
    }
    // The application's INI file keeps the user's entry, so it stays.
    app.ExpectKept(Item::FileAt(appIni));
    return app;
}
