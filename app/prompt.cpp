// Every question and message of the program: a modal box with the program's caption.
#include "app/prompt.h"

bool askUser(const char* text, UINT style) {
    const int answer = MessageBoxA(nullptr, text, "Quenderholt Pelvane: Uninstallation Cleanup", style);
    return answer == IDYES || answer == IDOK;
}
