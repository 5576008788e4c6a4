// Finds the product's folder: at its default place under Program Files, or picked by the user.
#include "files/application_folder.h"

#include <string.h>

#include "app/cleanup_log.h"
#include "app/join_path.h"
#include "app/prompt.h"
#include "files/folder_guard.h"
#include "files/system_folder.h"

bool confirmEachDeletion = false;
bool protectedPlace = false;

UINT_PTR CALLBACK centreDialogHook(HWND window, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return 0;
    const HWND frame = GetParent(window);
    RECT rect;
    if (!frame || !GetWindowRect(frame, &rect)) return 0;
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2 - (rect.right - rect.left) / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2 - (rect.bottom - rect.top) / 2;
    SetWindowPos(frame, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    return 0;
}

// Lets the user pick any file in the product's folder; fills selectedPath and libraryTitle + 1 on success.
static bool askForLibrary(char* selectedPath, char* libraryTitle) {
    OPENFILENAMEA dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.lpstrFilter = "Pelvane Library\0pelvane32.dll\0All Files\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = selectedPath;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrFileTitle = libraryTitle + 1;
    dialog.nMaxFileTitle = 254;
    dialog.lpstrTitle = "Select any file in the directory to be deleted";
    dialog.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLEHOOK | OFN_FILEMUSTEXIST | OFN_EXPLORER |
                   OFN_DONTADDTORECENT;
    dialog.lpstrDefExt = "dll";
    dialog.lpfnHook = centreDialogHook;
    return GetOpenFileNameA(&dialog) != 0;
}

// Cuts the last "\name" of the selected file off selectedPath, leaving the folder that holds it; only whole
// characters are compared, so a double-byte character's second byte is never taken for the backslash. The folder at
// the default place, or a chosen one below a Program Files folder, is a protected place.
static bool cutToFolder(char* selectedPath, const char* libraryTitle) {
    const size_t titleLength = strlen(libraryTitle);
    char* last = nullptr;
    for (char* at = selectedPath; *at; at = CharNextA(at))
        if (strncmp(at, libraryTitle, titleLength) == 0) last = at;
    if (!last) return false;
    *last = '\0';
    protectedPlace = !confirmEachDeletion;
    return !isRefusedFolder(selectedPath, confirmEachDeletion, &protectedPlace);
}

int locateApplicationFolder(FILE* log, char* selectedPath) {
    char programFiles[MAX_PATH];
    char libraryTitle[256] = "\\pelvane32.dll";
    selectedPath[0] = '\0';
    if (systemFolderPath(CSIDL_PROGRAM_FILES, programFiles) &&
        joinPath(selectedPath, programFiles, "Quenderholt\\Pelvane\\pelvane32.dll")) {
        writeLog(log, "Searching for %s\n", selectedPath);
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA(selectedPath, &found);
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
        confirmEachDeletion = search == INVALID_HANDLE_VALUE;
    } else {
        confirmEachDeletion = true;
    }
    if (confirmEachDeletion) {
        writeLog(log, "%s not found\n", selectedPath);
        if (!askUser("The Pelvane library was not found at the default location.\n\nDo you want to try and identify "
                     "the folder to be deleted?\n(You will be prompted to confirm deletion of each file.)",
                     askYesNoDefaultNo)) {
            writeLog(log, "\nCleanup terminated without deleting files.\n");
            closeLog(log);
            return 3;
        }
        if (!askForLibrary(selectedPath, libraryTitle)) {
            askUser("Unable to identify application folder, cannnot continue!", tellStop);
            writeLog(log, "\nUnable to identify application folder, cleanup aborted.\n");
            closeLog(log);
            return 2;
        }
    }
    writeLog(log, "\nFile removal\n------------\n\n");
    if ((confirmEachDeletion && !leadsToChosenFile(selectedPath)) || !cutToFolder(selectedPath, libraryTitle)) {
        askUser("Application folder error, cannot continue!", tellStop);
        writeLog(log, "Application folder error, cleanup aborted.");
        closeLog(log);
        return 4;
    }
    return 0;
}
