#include "sample_app.h"

#include "machine.h"

Installation SampleApp(const std::string& folder) {
    Installation app(folder);
    // Names follow the folder's, so installations in other folders do not meet.
    const std::string name = machine::FileNamePart(folder);
    const std::string windows = machine::WindowsFolder();
    const std::string menu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\" + name;
    const std::string letter = "C:\\users\\Public\\Documents\\" + name + " letter.txt";
    const std::string vendorKey = "Software\\" + name + " Vendor";
    const std::string appKey = vendorKey + "\\" + name;
    const std::string otherProduct = name + " Other Product";

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
    app.AddIniEntry(windows + "\\win.ini", name, "Path", folder);
    app.AddRegistryKey(HKEY_CURRENT_USER, vendorKey);
    app.AddRegistryKey(HKEY_CURRENT_USER, appKey);
    app.AddRegistryValue(HKEY_CURRENT_USER, appKey, "InstallDir", REG_SZ, folder);
    app.AddRegistryValue(HKEY_CURRENT_USER, appKey, "Version", REG_SZ, "1.0");

    // Things that are not the installer's: they must survive.
    app.AddFile(letter, "Dear reader,\r\n");
    app.AddRegistryValue(HKEY_CURRENT_USER, vendorKey + "\\Other Product", "Version", REG_SZ, "2.0");
    app.AddIniEntry(windows + "\\win.ini", otherProduct, "Path", "C:\\Program Files\\Other Product");
    app.AddCleanup(Item::Key(HKEY_CURRENT_USER, vendorKey));
    app.AddCleanup(Item::DirectoryAt(menu));
    app.AddCleanup(Item::FileAt(letter));

    // install.log, in the order the installer did things.
    app.LogString(1, "Uninstall Sample App");
    app.LogString(4, "Are you sure you want to completely remove Sample App and all of its components?");
    for (const char* file : {"\\Sample App.exe", "\\readme.txt", "\\data\\settings.ini",
                             "\\data\\templates\\letter.dot", "\\help\\manual.txt"})
        app.LogLine("CopyFiles", folder + file + "=1");
    app.LogLine("Shortcuts", menu + "\\Sample App.lnk");
    app.LogLine("AddIni", windows + "\\win.ini," + name + ",Path=" + folder);
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
        bool foreign = item.path == letter || item.path.find("Other Product") != std::string::npos ||
                       (item.kind == Item::IniEntry && item.name == otherProduct) ||
                       (item.kind == Item::RegistryKey && item.path == vendorKey);
        if (foreign) app.ExpectKept(item);
        else app.ExpectGone(item);
    }
    return app;
}
