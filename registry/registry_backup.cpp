// Saves the registry entries the run deletes to a REGEDIT4 file beside the log, each before it goes.
#include "registry/registry_backup.h"

#include <string.h>

#include "app/cleanup_log.h"

// The value being saved: its name and data, which is followed by a zero. A value too large for them (a name of
// over 16,383 bytes, data of over a mebibyte) cannot be read, and is named in a comment.
static char valueName[16384];
static char valueData[1 << 20];

// Makes the file at the first entry saved: the log's name with ".reg", or while that is taken " (2).reg",
// " (3).reg"... and never through anything at its name. Null when there is none.
static FILE* backupFile(RegistryBackup* backup) {
    if (!backup || backup->tried || !backup->logPath[0]) return backup ? backup->file : nullptr;
    backup->tried = true;
    const size_t stem = strlen(backup->logPath) - 4;  // without ".log"
    memcpy(backup->path, backup->logPath, stem);
    for (unsigned number = 1; number < 1000; ++number) {
        if (stem + wsprintfA(backup->path + stem, number == 1 ? ".reg" : " (%u).reg", number) >= MAX_PATH) break;
        backup->file = createExclusively(backup->path);
        if (backup->file || GetLastError() != ERROR_FILE_EXISTS) break;
    }
    writeLog(backup->file, "REGEDIT4\n\n");
    return backup->file;
}

// Whether a byte is a control character: written raw, a line break would let a name add lines of its own.
static bool isControl(char byte) { return static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F; }

static bool printable(const char* text) {
    while (*text && !isControl(*text)) ++text;
    return !*text;
}

// Writes text character by character (a double-byte character's second byte can be 0x5C), a control character as
// '?' and, when quoted, between double quotes with a backslash before each backslash and double quote. Returns the
// bytes written.
static int writeText(FILE* file, const char* text, bool quoted) {
    int written = quoted ? 2 : 0;
    if (quoted) writeLog(file, "\"");
    for (const char* at = text; *at;) {
        const char* next = CharNextA(at);
        const bool escaped = quoted && (*at == '\\' || *at == '"');
        writeLog(file, escaped ? "\\%.*s" : "%.*s", static_cast<int>(next - at), isControl(*at) ? "?" : at);
        written += static_cast<int>(next - at) + escaped;
        at = next;
    }
    if (quoted) writeLog(file, "\"");
    return written;
}

static bool printableName(const KeyName* key) { return !key || (printable(key->name) && printableName(key->above)); }

static void writeKeyName(FILE* file, const KeyName* key) {
    if (key->above) {
        writeKeyName(file, key->above);
        writeLog(file, "\\");
    }
    writeText(file, key->name, false);
}

// A comment line naming a key, or a value of it, and why it is not saved.
static void writeComment(FILE* file, const KeyName* key, const char* name, const char* why) {
    writeLog(file, "; ");
    writeKeyName(file, key);
    if (name) {
        writeLog(file, " value ");
        writeText(file, name, true);
    }
    writeLog(file, " %s, not saved\n", why);
}

// Writes one value of the value buffers as regedit does in a REGEDIT4 file: a string that can stand between quotes
// there, a DWORD, or else the bytes in hexadecimal after their type, in lines continued with a backslash where they
// grow long. A name that cannot be written safely goes into a comment instead.
static void writeValue(FILE* file, const KeyName* key, const char* name, DWORD type, DWORD size) {
    if (!printable(name)) return writeComment(file, key, name, "has a control character");
    int column = 1;
    if (*name)
        column = writeText(file, name, true);
    else
        writeLog(file, "@");
    if (type == REG_SZ && size > 0 && strlen(valueData) + 1 == size && printable(valueData)) {
        writeLog(file, "=");
        writeText(file, valueData, true);
    } else if (type == REG_DWORD && size == 4) {
        DWORD number;
        memcpy(&number, valueData, sizeof number);
        writeLog(file, "=dword:%08x", static_cast<unsigned>(number));
    } else {
        char prefix[24];
        column += wsprintfA(prefix, type == REG_BINARY ? "=hex:" : "=hex(%x):", static_cast<unsigned>(type));
        writeLog(file, "%s", prefix);
        const char* separator = "";  // none before the first byte
        for (DWORD at = 0; at < size; ++at) {
            writeLog(file, "%s%02x", separator, static_cast<unsigned char>(valueData[at]));
            column += 3;
            separator = column < 77 ? "," : ",\\\n  ";
            if (column >= 77) column = 2;
        }
    }
    writeLog(file, "\n");
}

void saveKey(RegistryBackup* backup, HKEY key, const KeyName* name, bool isLink, const char* value) {
    FILE* file = backupFile(backup);
    if (!file) return;
    if (isLink) return writeComment(file, name, nullptr, "is a registry link");
    if (!printableName(name)) return writeComment(file, name, nullptr, "has a control character");
    writeLog(file, "[");
    writeKeyName(file, name);
    writeLog(file, "]\n");
    // As many values as a walk lists subkeys at most: a key that keeps getting new values ends too.
    const DWORD values = value ? 1 : 10000;
    LSTATUS status = ERROR_SUCCESS;
    for (DWORD index = 0; index < values && status == ERROR_SUCCESS; ++index) {
        DWORD nameSize = sizeof valueName, type, size = sizeof valueData - 1;
        BYTE* data = reinterpret_cast<BYTE*>(valueData);
        status = value ? RegQueryValueExA(key, value, nullptr, &type, data, &size)
                       : RegEnumValueA(key, index, valueName, &nameSize, nullptr, &type, data, &size);
        if (status == ERROR_SUCCESS) {
            valueData[size] = '\0';
            writeValue(file, name, value ? value : valueName, type, size);
        }
    }
    if (status != (value ? ERROR_SUCCESS : ERROR_NO_MORE_ITEMS)) writeComment(file, name, value, "could not be read");
    writeLog(file, "\n");
    fflush(file);  // in the file, handed to the system, before anything of the key goes
}

void finishBackup(RegistryBackup* backup, FILE* log) {
    if (!backup->tried) return;
    const bool written = closeLog(backup->file);
    if (!backup->deleted) {
        if (backup->file) DeleteFileA(backup->path);  // this name only, whatever may have been put in the file's place
    } else {
        writeLog(log, written ? "Registry entries saved to %s before deletion\n"
                              : "Registry entries could not be saved: %s could not be written\n",
                 backup->path);
    }
}
