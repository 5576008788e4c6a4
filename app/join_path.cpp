// Joins a folder and a name into a path of at most MAX_PATH - 1 characters.
#include "app/join_path.h"

#include <string.h>

#include "app/path_characters.h"
#include "platform/platform.h"

bool joinPath(char* destination, const char* folder, const char* name) {
    const size_t folderLength = strlen(folder);
    const size_t separator = folderLength > 0 && *lastCharacter(folder) != '\\' ? 1 : 0;
    const size_t nameLength = strlen(name);
    destination[0] = '\0';
    if (folderLength == 0 || folderLength + separator + nameLength >= MAX_PATH) return false;
    memmove(destination, folder, folderLength);
    if (separator) destination[folderLength] = '\\';
    memcpy(destination + folderLength + separator, name, nameLength + 1);
    return true;
}
