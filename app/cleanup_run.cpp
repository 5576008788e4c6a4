// The cleanup run: one pass from the first question to the summary, ending in the process exit code.
#include "app/cleanup_run.h"

#include <string.h>

#include "app/cleanup_log.h"
#include "app/prompt.h"
#include "files/application_folder.h"
#include "files/folder_removal.h"
#include "instance/running_instance.h"
#include "platform/platform.h"
#include "registry/registry_cleanup.h"

bool isProductUninstalled() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenderholt Pelvane 6.0",
                      0, KEY_READ, &key) != ERROR_SUCCESS)
        return true;
    RegCloseKey(key);
    return false;
}

void finishRun(RemovalOutcome outcome, const char* folder, const char* logPath, FILE* log) {
    static const char note[] =
        "\n\nNote: If other users have used Pelvane on this machine, you may need to run this application for each "
        "user to clear registry entries associated with that user";
    static const char* const logLines[] = {
        "\nNo reboot required, all files deleted successfully\n", "\nReboot required to finish removing files\n",
        "\nFiles left undeleted by user\n", "\nSome files or registry entries could not be removed\n"};
    // Each summary is formatted with the folder, which only two of them name; the log's pointer follows.
    static const char* const summaries[] = {
        "Pelvane cleanup complete. No reboot required.",
        "Not all files could be deleted immediately.\n\nYou MUST reboot before re-installing or upgrading "
        "Quenderholt Pelvane.",
        "The folder %s will not be deleted, since it contains some files you have asked to retain. It should be "
        "possible to re-install or upgrade Quenderholt Pelvane provided that you reboot first.",
        "Some files or registry entries of Quenderholt Pelvane are still there, and a reboot will not remove them. "
        "They are in the folder %s or in the registry, and may prevent re-installing or upgrading Quenderholt "
        "Pelvane."};
    char message[1024];
    writeLog(log, "%s", logLines[outcome]);
    writeLog(log, "\nPelvane cleanup completed.\n\n");
    const bool logged = closeLog(log) && logPath[0];
    // Both paths fit MAX_PATH, so the longest summary with its tail and note stays well inside the buffer.
    const int length = wsprintfA(message, summaries[outcome], folder);
    wsprintfA(message + length,
              logged ? (outcome == LeftBehind ? "\n\n(See %s for the list.)" : "\n\n(See %s for details.)")
                     : "\n\n(No log could be written.)",
              logPath);
    strncat(message, note, sizeof message - strlen(message) - 1);
    askUser(message, outcome == AllRemoved ? tellInformation : tellExclamation);
}

int runCleanup() {
    if (!askUser("This application is designed to remove remaining files and registry entries associated with "
                 "Quenderholt Pelvane 6, to allow re-installation or upgrading.\n\nIn order to be most reliable, you "
                 "should have administrator privileges and be logged on as the same user that installed "
                 "Pelvane.\n\nDo you want to proceed?",
                 askYesNo))
        return 0;
    char logPath[MAX_PATH];
    FILE* log = openLog(logPath);
    if (!isProductUninstalled() &&
        !askUser("Pelvane does not appear to have been uninstalled.\n\nYou should run the normal uninstaller before "
                 "using this application (or else some menu items and registry entries may be left "
                 "undeleted).\n\nContinue cleanup anyway?",
                 askYesNoDefaultNo)) {
        writeLog(log, "\nCleanup terminated to allow uninstallation first.\n\n");
        return 1;  // the C runtime flushes and closes the log as the process ends
    }
    writeLog(log, closeRunningInstance() ? "Pelvane was running and has been terminated\n" : "Pelvane was not running\n");
    writeLog(log, "\nRegistry cleanup\n----------------\n\n");
    const bool registryCleaned = runRegistryCleanup(log, logPath);
    char folder[MAX_PATH];
    const int stop = locateApplicationFolder(log, folder);
    if (stop != 0) return stop;
    const RemovalOutcome outcome = removeFolder(folder, log);
    finishRun(registryCleaned ? outcome : LeftBehind, folder, logPath, log);
    return 0;
}
