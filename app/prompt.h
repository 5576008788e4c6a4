// Every question and message of the program: a modal box with the program's caption.
#pragma once

#include "platform/platform.h"

// The five kinds of box the program shows.
const UINT askYesNo = MB_YESNO | MB_ICONQUESTION;                             // 0x24, Yes is default
const UINT askYesNoDefaultNo = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;    // 0x124
const UINT tellStop = MB_OK | MB_ICONSTOP;                                    // 0x10
const UINT tellInformation = MB_OK | MB_ICONINFORMATION;                      // 0x40
const UINT tellExclamation = MB_OK | MB_ICONEXCLAMATION;                      // 0x30

// Shows text in an ownerless message box; true when the answer is Yes or OK.
bool askUser(const char* text, UINT style);
