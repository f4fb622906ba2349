#include "sample_app.h"

#include "machine.h"

Installation SampleApp(const std::string& folder) {
    Installation app(folder);
    const std::string windows = machine::WindowsFolder();
    const std::string menu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Sample App";
    const std::string documents = "C:\\users\\Public\\Documents";
    const std::string vendorKey = "Software\\Sample Vendor";
    const std::string appKey = vendorKey + "\\Sample App";

    // Files and folders the installer made.
    app.AddDirectory(folder + "\\data");
    app.AddDirectory(folder + "\\data\\templates");
    app.AddDirectory(folder + "\\help");
    app.AddFile(folder + "\\Sample App.exe", "MZ sample program\r\n");
    app.AddFile(folder + "\\readme.txt", "Sample App 1.0\r\n");
    app.AddFile(folder + "\\data\\settings.ini", "[General]\r\nLanguage=en\r\n");
    app.AddFile(folder + "\\data\\templates\\letter.dot", "template\r\n");
    app.AddFile(folder + "\\help\\manual.txt", "How to use Sample App\r\n");
    app.AddDirectory(menu);
    app.AddFile(menu + "\\Sample App.lnk", "shortcut\r\n");
    app.AddIniEntry(windows + "\\win.ini", "Sample App", "Path", folder);
    app.AddRegistryKey(HKEY_CURRENT_USER, vendorKey);
    app.AddRegistryKey(HKEY_CURRENT_USER, appKey);
    app.AddRegistryValue(HKEY_CURRENT_USER, appKey, "InstallDir", REG_SZ, folder);
    app.AddRegistryValue(HKEY_CURRENT_USER, appKey, "Version", REG_SZ, "1.0");

    // Things that are not the installer's: they must survive.
    app.AddFile(documents + "\\Sample App letter.txt", "Dear reader,\r\n");
    app.AddRegistryValue(HKEY_CURRENT_USER, vendorKey + "\\Other Product", "Version", REG_SZ, "2.0");
    app.AddIniEntry(windows + "\\win.ini", "Other Product", "Path", "C:\\Program Files\\Other Product");
    app.AddCleanup(Item::Key(HKEY_CURRENT_USER, vendorKey));
    app.AddCleanup(Item::DirectoryAt(menu));
    app.AddCleanup(Item::FileAt(documents + "\\Sample App letter.txt"));

    // install.log, in the order the installer did things.
    app.LogString(1, "Uninstall Sample App");
    app.LogString(4, "Are you sure you want to completely remove Sample App and all of its components?");
    for (const char* file : {"\\Sample App.exe", "\\readme.txt", "\\data\\settings.ini",
                             "\\data\\templates\\letter.dot", "\\help\\manual.txt"})
        app.LogLine("CopyFiles", folder + file + "=1");
    app.LogLine("Shortcuts", menu + "\\Sample App.lnk");
    app.LogLine("AddIni", windows + "\\win.ini,Sample App,Path=" + folder);
    app.LogLine("AddReg", "HKCU\\" + appKey + "\\InstallDir=" + folder);
    app.LogLine("AddReg", "HKCU\\" + appKey + "\\Version=1.0");
    app.LogLine("CreateKeys", "HKCU\\" + vendorKey);
    app.LogLine("CreateKeys", "HKCU\\" + appKey);
    for (const std::string& directory :
         {folder, folder + "\\data", folder + "\\data\\templates", folder + "\\help", menu})
        app.LogLine("CreateDirs", directory);

    // What the uninstall is to remove, and what it must leave: everything not
    // the installer's, and the vendor key, which still holds Other Product.
    for (const Item& item : app.Items()) {
        bool foreign = item.path.find("Sample App letter.txt") != std::string::npos ||
                       item.path.find("Other Product") != std::string::npos ||
                       (item.kind == Item::IniEntry && item.name == "Other Product") ||
                       (item.kind == Item::RegistryKey && item.path == vendorKey);
        if (foreign) app.ExpectKept(item);
        else app.ExpectGone(item);
    }
    return app;
}
