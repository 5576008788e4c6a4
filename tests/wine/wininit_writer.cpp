// Registers each path of its command line through WININIT.INI with the program's own writer, as on 95/98/Me: Wine's
// restart then carries the lines out, which no other Wine test can show, since the NT family never reads the file.
#include <stdio.h>

#include "files/restart_deletion.h"

int main(int argc, char** argv) {
    int refused = 0;
    for (int i = 1; i < argc; ++i) {
        const bool written = scheduleThroughWininit(argv[i]);
        printf("%s %s\n", written ? "registered" : "refused", argv[i]);
        refused += written ? 0 : 1;
    }
    return refused;
}
