// Fuzz target: the whole second run over an arbitrary installation log.
//
// The input is the text of install.log in the fixed machine of fuzz_world.h.
// The run is the copy in the temporary folder started with the log's path,
// the user answering OK and then closing the progress window. An input of
// odd length runs on the 95 family (where RegDeleteKeyA takes subkeys with
// it and the copy is listed in wininit.ini), one of even length on NT.
#include "fuzz_world.h"

#include "support/world.h"

#include "messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SetFuzzInput(data, size);
    BuildFuzzWorld(FuzzInput(), size % 2 == 0);

    int exitCode = Uninstall(IDOK);

    if (exitCode != 0)
        FuzzFailure("the run ended with exit code " + std::to_string(exitCode) + " over a log that exists");
    SimDialog dialog = SimLastDialog();
    if (!dialog.exists || !dialog.ended || dialog.scriptRanOut)
        FuzzFailure("the progress window was not opened and closed by the program");
    if (dialog.listLines.size() < 8 || dialog.listLines.front() != "Start..." ||
        dialog.listLines.back() != MessageText(MSG_FINISHED))
        FuzzFailure("the status list does not run from \"Start...\" to the closing line");
    for (const SimProcess& process : SimProcesses())
        if (process.deadlocked)
            FuzzFailure("a started program was waited for without taking sent messages");
    CheckWorld();
    return 0;
}
