// Finds the product's folder: at its default place under Program Files, or picked by the user.
#pragma once

#include <stdio.h>

#include "platform/platform.h"

// Whether every deletion is to be confirmed: true once the user picked the folder in the dialog.
extern bool confirmEachDeletion;

// Whether the folder lies where only administrators may rename or replace the folders on its path (the product's
// default place below Program Files): only there is a path left for the restart sure to lead where it did.
extern bool protectedPlace;

// Fills selectedPath (MAX_PATH bytes) with the folder that holds the product's library and returns 0;
// or writes the log's last line, closes the log and returns the exit code 2, 3 or 4 for the run to end with.
int locateApplicationFolder(FILE* log, char* selectedPath);

// Centres the open-file dialog on the screen when it opens.
UINT_PTR CALLBACK centreDialogHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
