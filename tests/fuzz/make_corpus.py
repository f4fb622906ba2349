#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into corpus/<target>/.

The seeds are scenario-like logs of the machine in fuzz_world.cpp and crafted
cases at the edges of the log format. Run it again after changing a seed;
the files are committed, so the fuzz runs need no Python.
"""
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))
INSTALL = "C:\\Program Files\\Acme Tool"
MENU = "C:\\Windows\\Start Menu\\Programs\\Acme Tool"


def log(*lines):
    return ("\r\n".join(lines) + "\r\n").encode("latin-1")


def section(name, *lines):
    return ["[" + name + "]"] + list(lines)


LONG_PATH = INSTALL + "\\" + "L" * (300 - len(INSTALL) - 1)   # 300 bytes
LONG_DIR = INSTALL + "\\" + "D" * (258 - len(INSTALL) - 1)    # fits, but not with "\*.*"
LONG_TEXT = "T" * 300

FULL_LOG = log(
    *section("Strings", "1=Acme Tool Uninstall", "4=Remove Acme Tool?", "23=Done"),
    *section("Uninstall.PreRunApp",
             "1=" + INSTALL + "\\app.exe,/unregister," + INSTALL + ",0,Unregistering components...,1"),
    *section("Uninstall.RunApp", "1=" + INSTALL + "\\cleanup.exe", "2=notepad.exe,readme.txt,,2,Read me,0"),
    *section("CopyFiles", INSTALL + "\\app.exe=1", INSTALL + "\\cleanup.exe=1", INSTALL + "\\readme.txt",
             INSTALL + "\\app.ini=1", INSTALL + "\\Data\\words.dat=1"),
    *section("Shortcuts", MENU + "\\Acme Tool.lnk=1", MENU + "\\Read Me.lnk=1"),
    *section("AddIni", "win.ini,Extensions,acm=" + INSTALL + "\\app.exe ^.acm",
             INSTALL + "\\app.ini,Settings,Language=en"),
    *section("AddReg", "HKLM\\Software\\Acme\\Tool\\InstallDir=" + INSTALL, "HKLM\\Software\\Acme\\Tool\\Version=2",
             "HKLM\\Software\\Acme\\Tool\\=Acme Tool", "HKCU\\Software\\Acme\\Tool\\Settings\\Language=en",
             "HKCR\\.acm\\=AcmeTool.Document", "HKCR\\AcmeTool.Document\\shell\\open\\command\\=app.exe"),
    *section("CreateKeys", "HKLM\\Software\\Acme", "HKLM\\Software\\Acme\\Tool", "HKCU\\Software\\Acme",
             "HKCU\\Software\\Acme\\Tool", "HKCU\\Software\\Acme\\Tool\\Settings", "HKCR\\.acm",
             "HKCR\\AcmeTool.Document", "HKCR\\AcmeTool.Document\\shell", "HKCR\\AcmeTool.Document\\shell\\open",
             "HKCR\\AcmeTool.Document\\shell\\open\\command"),
    *section("CreateDirs", INSTALL + "=1", INSTALL + "\\Data=1", INSTALL + "\\Data\\Sub Folder=1", MENU + "=1"),
)

REMOVAL_RUN = {
    "empty": b"",
    "full-installation": FULL_LOG,
    "readme-sample": log(
        *section("Strings", "1=Sample App Uninstall", "4=Remove Sample App and all of its components?", "23=Done"),
        *section("Uninstall.PreRunApp", "1=C:\\Program Files\\Sample App\\app.exe,/unregister,"
                 "C:\\Program Files\\Sample App,0,Unregistering components...,1"),
        *section("Uninstall.RunApp", "1=C:\\Program Files\\Sample App\\cleanup.exe"),
        *section("CopyFiles", "C:\\Program Files\\Sample App\\app.exe=1",
                 "C:\\Program Files\\Sample App\\Data\\readme.txt=1"),
        *section("Shortcuts", "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Sample App.lnk=1"),
        *section("AddIni", "win.ini,Extensions,sam=C:\\Program Files\\Sample App\\app.exe ^.sam",
                 "C:\\Program Files\\Sample App\\app.ini,Settings,Language=en"),
        *section("AddReg", "HKLM\\Software\\Sample\\App\\InstallDir=C:\\Program Files\\Sample App",
                 "HKCR\\.sam\\=SampleApp.Document"),
        *section("CreateKeys", "HKLM\\Software\\Sample", "HKLM\\Software\\Sample\\App"),
        *section("CreateDirs", "C:\\Program Files\\Sample App", "C:\\Program Files\\Sample App\\Data"),
    ),
    "lines-without-equals": log(
        *section("Uninstall.RunApp", INSTALL + "\\app.exe"),
        *section("CopyFiles", INSTALL + "\\readme.txt", "readme.txt"),
        *section("AddIni", "win.ini,Extensions,acm"),
        *section("AddReg", "HKLM\\Software\\Acme\\Tool\\InstallDir"),
        *section("CreateKeys", "HKCU\\Software\\Acme\\Tool\\Settings"),
        *section("CreateDirs", INSTALL + "\\Data\\Sub Folder"),
    ),
    "ini-lines-without-commas": log(
        *section("AddIni", "win.ini=x", "win.ini,Extensions=x", "app.ini,Settings", ",,", ",,=", "win.ini,,acm=1",
                 ",Extensions,acm=1", "win.ini,Extensions,=1", INSTALL + "\\app.ini,Settings,Language,more=en",
                 " win.ini , Extensions , acm = x"),
    ),
    "short-registry-lines": log(
        *section("AddReg", "HKLM", "HKLM=x", "HKCU\\=x", "HKCU\\Name=x", "HKU\\x=1", "HKCR\\\\=x", "hkcu\\=",
                 "HKC=x", "H=x", "HKLM\\Software=x", "HKLMxSoftware\\Acme\\Tool\\Version=2"),
        *section("CreateKeys", "HKLM", "HKCU\\", "HKU\\x", "HKCU\\\\", "HKLM\\\\Software", "HKLM=\\Software",
                 "HKCU\\=Software", "hkcc", "HKDD\\", "HKLMxSoftware"),
    ),
    "empty-keys": log(
        *section("Uninstall.RunApp", "=" + INSTALL + "\\cleanup.exe", "=", "=,,,,,"),
        *section("CopyFiles", "=1", "=", "=" + INSTALL + "\\readme.txt"),
        *section("AddIni", "=win.ini,Extensions,acm", ",,="),
        *section("AddReg", "=HKLM\\Software\\Acme\\Tool\\Version", "\\=x"),
        *section("CreateKeys", "=HKLM\\Software\\Acme", "="),
        *section("CreateDirs", "=1", "=", "=" + INSTALL),
    ),
    "relative-and-odd-directories": log(
        *section("CreateDirs", INSTALL + "=1", "1", "Data", "..", ".", "\\", "C:", "C:\\", "C:\\Windows\\..",
                 INSTALL + "\\Data\\", INSTALL + "\\\\Data", INSTALL + "/Data/Sub Folder", "SUBFOL~1",
                 INSTALL + "\\Data\\Sub Folder\\..\\Sub Folder", INSTALL + "\\Data\\Sub Folder. ."),
    ),
    "long-paths": log(
        *section("Strings", "1=" + LONG_TEXT),
        *section("Uninstall.RunApp", "1=" + LONG_PATH + ",/x," + LONG_PATH + ",1," + LONG_TEXT + ",0",
                 "2=" + INSTALL + "\\app.exe," + "A" * 480 + ",,0,Long arguments",
                 "3=" + INSTALL + "\\app.exe," + "A" * 470 + ",,0,Just fits"),
        *section("CopyFiles", LONG_PATH + "=1", LONG_PATH),
        *section("AddIni", LONG_PATH + ",Settings,Language=en", "win.ini," + LONG_TEXT + "," + LONG_TEXT),
        *section("AddReg", "HKLM\\Software\\" + LONG_TEXT + "\\Name=x", "HKCU\\Software\\Acme\\" + LONG_TEXT + "=x"),
        *section("CreateKeys", "HKLM\\Software\\" + LONG_TEXT, "HKCU\\" + "K\\" * 150),
        *section("CreateDirs", LONG_PATH, LONG_DIR, LONG_DIR + "\\"),
    ),
    "long-strings": log(*section("Strings", *["%d=%s" % (n, chr(ord("a") + n % 26) * 300) for n in range(0, 26)],
                                 "abc=x", "-1=x", "01=zero", "4294967297=x")),
    "control-characters": log(
        *section("Strings", "1=Un\x01in\tstall\x1a", "23=\x7f"),
        *section("Uninstall.RunApp", "1=" + INSTALL + "\\app.exe,\x02,\x03,\x041,\x05,\x06"),
        *section("CopyFiles", INSTALL + "\\read\x01me.txt=1", INSTALL + "\\readme.txt\t=1", "\x1a"),
        *section("AddIni", "win.ini,Exten\x00sions,acm=1"),
        *section("AddReg", "HKLM\\Soft\x00ware\\Acme\\Tool\\Version=2", "HK\x00M\\x=1"),
        *section("CreateDirs", INSTALL + "\\Data\x00\\Sub Folder"),
    ) + b"[CopyFiles]\rC:\\bare\rcarriage\x00returns\n",
    "high-bytes": log(
        *section("Strings", "1=Deinstallation von \xc4\xd6\xdc", "5=Fertig \xe9\xe8\xff"),
        *section("CopyFiles", INSTALL + "\\r\xe9sum\xe9.txt=1", INSTALL + "\\\xff\xfe\x80.txt"),
        *section("AddIni", "win.ini,\xc4xtensions,\xe4cm=1"),
        *section("AddReg", "\xc8KLM\\Software\\Acme\\Tool\\Version=2", "hklm\\Software\\\xc1cme\\x=1"),
        *section("CreateKeys", "\xc8KCU\\Software\\Acme", "\xe8kcu\\Software\\Acme"),
        *section("CreateDirs", INSTALL + "\\D\xe4ta"),
    ),
    "program-lines": log(
        *section("Uninstall.PreRunApp", "1=" + INSTALL + "\\app.exe", "2=" + INSTALL + "\\app.exe,,,,,",
                 "3=" + INSTALL + "\\app.exe,/a,,3", "4=" + INSTALL + "\\app.exe,/a,C:\\Missing,1,Caption",
                 "5=" + INSTALL + "\\app.exe,/a," + INSTALL + ",2,Caption,0,extra,fields",
                 "6=missing.exe,,,,Not there", "7=,,,,,", "8=\"" + INSTALL + "\\app.exe\" /quoted"),
        *section("Uninstall.RunApp", "a=cleanup,,,9,,", "b=" + INSTALL + "\\cleanup.exe,,,1,,0"),
    ),
    "sections-odd": log("[copyfiles]", INSTALL + "\\readme.txt", "[CopyFiles", INSTALL + "\\app.exe",
                        "[CopyFiles]", "; " + INSTALL + "\\cleanup.exe", "[CreateDirs]", "[CreateDirs]",
                        INSTALL + "\\Data\\Sub Folder", "[AddReg]", "\"HKLM\\Software\\Acme\\Tool\\Version\"=\"2\"",
                        "[]", "=", "[Strings]", "1='quoted'", "23=\"Done\""),
    # The question and a status line built from the longest texts: each is
    # longer than a text alone, in the buffer built for it.
    "question-long-text-file-in-use": log(
        *section("Strings", "13=" + "Q" * 254),
        *section("Uninstall.PreRunApp", "1=" + INSTALL + "\\app.exe,,,,,0"),
        *section("CopyFiles", INSTALL + "\\app.exe=1"),
    ),
    "status-line-long-text-file-not-removed": log(
        *section("Strings", "15=" + "N" * 254),
        *section("CopyFiles", INSTALL + "\\KEEPF8.TXT=1"),
    ),
    "section-40k": log(*section("CopyFiles", *["%s\\Data\\file%05d.dat=1" % (INSTALL, n) for n in range(1000)],
                                INSTALL + "\\readme.txt=1"),
                       *section("CreateDirs", INSTALL + "\\Data\\Sub Folder")),
}


def handler_case(selector, *lines):
    return bytes([selector]) + b"\0".join(l.encode("latin-1") for l in lines)


# Selectors: 0 files, 1 INI entries, 2 registry values, 3 registry keys,
# 4 directories, 5 programs, 6 HiveFromPrefix; +7 runs the same on the other family.
HANDLERS = {
    "files": handler_case(0, INSTALL + "\\app.exe=1", INSTALL + "\\readme.txt", "=", "readme.txt=", LONG_PATH),
    "files-40k": handler_case(7, *["%s\\Data\\file%05d.dat=1" % (INSTALL, n) for n in range(1000)]),
    "ini": handler_case(1, "win.ini,Extensions,acm=1", "app.ini,Settings", ",,", "win.ini,,x", ",Extensions,acm",
                        INSTALL + "\\app.ini,Settings,Language", "x"),
    "values": handler_case(2, "HKLM\\Software\\Acme\\Tool\\InstallDir=x", "HKCU\\Name=x", "HKCU\\=x", "HKLM=x",
                           "HKCR\\.acm\\=x", "HKU\\x=1", "HKLM\\Software\\Acme\\Tool"),
    "values-95": handler_case(9, "HKLM\\Software\\Acme\\Tool\\Version=2", "HKLM\\=", "hkcr\\\\=x"),
    "keys": handler_case(3, "HKLM\\Software\\Acme", "HKLM\\Software\\Acme\\Tool", "HKLM", "HKCU\\", "HKU\\x",
                         "HKCU\\Software\\Acme\\Tool\\Settings=x", "HKLM\\\\Software"),
    "keys-95": handler_case(10, "HKCU\\Software\\Acme", "HKCU\\Software\\Acme\\Tool",
                            "HKCU\\Software\\Acme\\Tool\\Settings", "HKCC", "HKCR\\AcmeTool.Document"),
    "directories": handler_case(4, INSTALL + "=1", INSTALL + "\\Data", INSTALL + "\\Data\\Sub Folder=1", "1", "=",
                                "", LONG_DIR),
    "programs": handler_case(5, "1=" + INSTALL + "\\app.exe,/x," + INSTALL + ",1,Caption,1", "C:\\no-equals.exe",
                             "2=" + INSTALL + "\\cleanup.exe,,,,,0", "3=" + INSTALL + "\\app.exe," + "A" * 520),
    "hive": handler_case(6, "HKLM\\Software"),
    "hive-short": handler_case(13, "hkc"),
    "hive-high": handler_case(6, "\xc8KLM"),
}


def launcher_case(flags, argument="", module="", temp="", log_text="", wininit=None):
    fields = [argument, module, temp, log_text]
    if wininit is not None:
        fields.append(wininit)
    while fields and fields[-1] == "" and wininit is None:
        fields.pop()
    return bytes([flags]) + b"\0".join(f.encode("latin-1") for f in fields)


SECOND, FAMILY95, CANCEL, COMMAND_LINE, LOG_AT_ARGUMENT = 1, 2, 4, 8, 16
LOG_PATH = INSTALL + "\\install.log"
SMALL_LOG = "[CopyFiles]\r\n" + INSTALL + "\\readme.txt=1\r\n[CreateDirs]\r\n" + INSTALL + "\\Data\\Sub Folder\r\n"
LAUNCHER = {
    "first-run-no-argument": launcher_case(0),
    "first-run-switch": launcher_case(0, "/S"),
    "first-run-six": launcher_case(0, "/quiet"),
    "first-run-seven": launcher_case(0, "C:\\a.lg"),
    "first-run-quoted": launcher_case(0, "\"C:\\Program Files\\Acme Tool\\install.log\""),
    "first-run-long-module": launcher_case(0, "", "C:\\" + "M" * 250 + "\\vorsil.exe"),
    "first-run-module-near-limit": launcher_case(0, "", "C:\\" + "M" * 240 + "\\v.exe"),
    "first-run-module-without-folder": launcher_case(0, "", "vorsil.exe"),
    "first-run-long-name": launcher_case(0, "", INSTALL + "\\" + "N" * 40 + ".exe"),
    "first-run-temp-without-backslash": launcher_case(0, "", "", "C:\\Windows\\Temp"),
    "first-run-long-temp": launcher_case(0, "", "", "C:\\" + "T" * 250 + "\\"),
    "first-run-command-line": launcher_case(COMMAND_LINE, "\"C:\\Program Files\\Acme Tool\\vorsil.exe\" \t /S"),
    "first-run-command-line-unquoted": launcher_case(COMMAND_LINE, "vorsil.exe\t\"" + LOG_PATH + "\""),
    "second-run": launcher_case(SECOND, LOG_PATH, "vorsil.exe", "", SMALL_LOG),
    "second-run-quoted": launcher_case(SECOND, "\"" + LOG_PATH + "\"", "vorsil.exe", "", SMALL_LOG),
    "second-run-quotes-inside": launcher_case(SECOND, "\"C:\\a\"b\"c", "vorsil.exe"),
    "second-run-no-argument": launcher_case(SECOND, "", "vorsil.exe"),
    "second-run-cancel": launcher_case(SECOND | CANCEL, LOG_PATH, "vorsil.exe", "", SMALL_LOG),
    "second-run-95": launcher_case(SECOND | FAMILY95, LOG_PATH, "vorsil.exe", "", SMALL_LOG),
    "second-run-other-log": launcher_case(SECOND | LOG_AT_ARGUMENT, "D:\\install.log", "Uninstall Acme.exe",
                                          "", SMALL_LOG),
    "second-run-long-log-path": launcher_case(SECOND, "C:\\" + "L" * 300, "vorsil.exe"),
    "second-run-renamed": launcher_case(SECOND, LOG_PATH, "UNINST~1.EXE", "C:\\Windows\\Temp", SMALL_LOG),
    "second-run-empty-name": launcher_case(SECOND, LOG_PATH, "", "", SMALL_LOG),
    "second-run-95-wininit": launcher_case(SECOND | FAMILY95 | CANCEL, LOG_PATH, "vorsil.exe", "", SMALL_LOG,
                                           "[boot]\r\nshell=x\r\n [rename] \r\nNUL=C:\\OTHER~1.TMP\r\n"),
    "second-run-95-wininit-no-section": launcher_case(SECOND | FAMILY95, LOG_PATH, "vorsil.exe", "", SMALL_LOG,
                                                      "[boot]\r\nshell=x"),
    "second-run-95-wininit-empty": launcher_case(SECOND | FAMILY95, LOG_PATH, "vorsil.exe", "", SMALL_LOG, ""),
    "second-run-95-wininit-bare-header": launcher_case(SECOND | FAMILY95 | CANCEL, LOG_PATH, "vorsil.exe", "",
                                                       SMALL_LOG, "\n[Rename]"),
    "second-run-command-line": launcher_case(SECOND | COMMAND_LINE, "\"C:\\Windows\\Temp\\vorsil.exe\" " + LOG_PATH,
                                             "vorsil.exe", "", SMALL_LOG),
}


def write(target, cases):
    folder = os.path.join(HERE, "corpus", target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in cases.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


write("removal_run", REMOVAL_RUN)
write("handlers", HANDLERS)
write("launcher", LAUNCHER)
