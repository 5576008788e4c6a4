// The simulated disk: files, folders, links, attributes, listings, deletion now and at the next restart.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

#include "platform/simulated/machine.h"

namespace sim {
namespace {

Node* childNamed(Node* folder, const std::string& name) {
    auto it = folder->byName.find(lowered(name));
    if (it != folder->byName.end()) return it->second;
    it = folder->byShortName.find(lowered(name));
    return it == folder->byShortName.end() ? nullptr : it->second;
}

Node* adopt(Node* folder, std::unique_ptr<Node> node) {
    node->parent = folder;
    node->serial = machine().nextSerial++;
    Node* child = node.get();
    folder->byName[lowered(child->name)] = child;
    child->place = folder->children.insert(folder->children.end(), std::move(node));
    return child;
}

Node* followed(Node* node);

// The node at path, made with every missing folder on the way; links on the way are followed, as by findNode.
Node* makePath(const std::string& path) {
    Node* at = machine().disk.get();
    const std::vector<std::string> parts = splitPath(path);
    for (size_t i = 0; i < parts.size(); ++i) {
        Node* next = childNamed(at, parts[i]);
        if (!next) {
            auto node = std::make_unique<Node>();
            node->name = parts[i];
            node->attributes = FILE_ATTRIBUTE_DIRECTORY;
            next = adopt(at, std::move(node));
        }
        at = i + 1 < parts.size() ? followed(next) : next;
        if (!at) throw std::runtime_error("a simulated link on the way leads nowhere: " + path);
    }
    return at;
}

Node* existing(const std::string& path) {
    Node* node = findNode(path);
    if (!node) throw std::runtime_error("no such simulated path: " + path);
    return node;
}

// What a link leads to, followed a few times over; the node itself when it is no link, null when it leads nowhere.
Node* followed(Node* node) {
    for (int hops = 0; node && !node->linkTarget.empty(); ++hops) node = hops < 8 ? findNode(node->linkTarget) : nullptr;
    return node;
}

bool tooLong(LPCSTR path) { return std::strlen(path) >= MAX_PATH; }

WIN32_FIND_DATAA entryFor(const std::string& name, DWORD attributes) {
    WIN32_FIND_DATAA data{};
    data.dwFileAttributes = attributes;
    std::strncpy(data.cFileName, name.c_str(), MAX_PATH - 1);
    return data;
}

WIN32_FIND_DATAA entryFor(const Node& node) {
    WIN32_FIND_DATAA data = entryFor(node.listedName.empty() ? node.name : node.listedName, node.attributes);
    std::strncpy(data.cAlternateFileName, node.shortName.c_str(), sizeof data.cAlternateFileName - 1);
    data.ftCreationTime.dwLowDateTime = node.serial;
    data.nFileSizeLow = static_cast<DWORD>(node.content.size());
    return data;
}

bool isDevice(const std::string& name) {
    std::string base = lowered(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (const char* device : {"con", "prn", "aux", "nul"})
        if (base == device) return true;
    return base.size() == 4 && (base.rfind("com", 0) == 0 || base.rfind("lpt", 0) == 0) && std::isdigit(base[3]);
}

// Sets the error for a path that names nothing: the file is missing, or already the folder above it.
BOOL notFound(const std::string& path) {
    const size_t slash = path.rfind('\\');
    return failWith(slash != std::string::npos && findNode(path.substr(0, slash)) ? ERROR_FILE_NOT_FOUND
                                                                                 : ERROR_PATH_NOT_FOUND);
}

}  // namespace

Node* findNode(const std::string& path) {
    Node* at = machine().disk.get();
    const bool literal = path.rfind("\\\\?\\", 0) == 0;
    if (literal && machine().ninetyFive) return nullptr;  // the 95/98/Me family knows no literal paths
    std::vector<std::string> parts;
    for (std::string part : splitPath(literal ? path.substr(4) : path)) {
        if (literal) {
            parts.push_back(part);
            continue;
        }
        if (part == ".") continue;
        if (part == "..") {
            if (parts.size() > 1) parts.pop_back();
            continue;
        }
        while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
        if (part.empty() || isDevice(part)) return nullptr;
        parts.push_back(part);
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        if (!at->isFolder()) return nullptr;
        at = childNamed(at, parts[i]);
        if (!at) return nullptr;
        if (!at->linkTarget.empty() && i + 1 < parts.size()) {
            at = findNode(at->linkTarget);
            if (!at) return nullptr;
        }
    }
    return at;
}

void removeNode(Node* node) {
    node->parent->byName.erase(lowered(node->name));
    if (!node->shortName.empty()) node->parent->byShortName.erase(lowered(node->shortName));
    node->parent->children.erase(node->place);
}

void addFolder(const std::string& path, DWORD attributes) {
    makePath(path)->attributes = attributes | FILE_ATTRIBUTE_DIRECTORY;
}

void addFile(const std::string& path, const std::string& content, DWORD attributes) {
    const auto parts = splitPath(path);
    Node* folder = followed(makePath(path.substr(0, path.rfind('\\'))));
    auto node = std::make_unique<Node>();
    node->name = parts.back();
    node->attributes = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
    node->content = content;
    Node* old = childNamed(folder, node->name);
    if (old) removeNode(old);
    adopt(folder, std::move(node));
}

void addLink(const std::string& path, const std::string& target) {
    Node* link = makePath(path);
    link->attributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    link->linkTarget = target;
}

void substituteDrive(const std::string& drive, const std::string& folder) {
    addLink(drive, folder);
    existing(drive)->attributes = FILE_ATTRIBUTE_DIRECTORY;  // a drive, not a reparse point
}

void setListedName(const std::string& path, const std::string& listed) { existing(path)->listedName = listed; }
void setShortName(const std::string& path, const std::string& shortName) {
    Node* node = existing(path);
    node->shortName = shortName;
    node->parent->byShortName[lowered(shortName)] = node;
}
void replaceByLink(const std::string& path, const std::string& target) {
    Node* node = existing(path);
    node->children.clear();
    node->byName.clear();
    node->byShortName.clear();
    node->attributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    node->linkTarget = target;
    node->serial = machine().nextSerial++;
}
void giveOtherNames(const std::string& path) { existing(path)->names = 2; }
int openFileHandles() {
    int open = 0;
    for (const auto& object : machine().handles) open += object.second.path.empty() ? 0 : 1;
    return open;
}

bool exists(const std::string& path) { return findNode(path) != nullptr; }
DWORD attributesOf(const std::string& path) { return existing(path)->attributes; }
std::string fileContent(const std::string& path) { return existing(path)->content; }
void lockFile(const std::string& path) { existing(path)->locked = true; }
void runAsProgram(const std::string& path) { existing(path)->runsAsProgram = true; }
void holdSharingDeletion(const std::string& path) { existing(path)->heldSharingDeletion = true; }
void letGo(const std::string& path) {
    Node* node = findNode(path);
    if (node && node->deletePending) removeNode(node);
    else if (node) node->heldSharingDeletion = false;
}
bool hasOwnAccessList(const std::string& path) { return existing(path)->ownAccessList; }

void restart() {
    for (const std::string& path : machine().pending) {
        Node* node = findNode(path);
        if (node && node->parent && (!node->isFolder() || !node->linkTarget.empty() || node->children.empty()))
            removeNode(node);
    }
    machine().pending.clear();
}
void hideAttributes(const std::string& path) { existing(path)->attributesHidden = true; }
void vanishAfterAttributeRead(const std::string& path) { existing(path)->vanishAfterRead = true; }
void failLinkRemoval(const std::string& path, DWORD error) { existing(path)->linkRemovalError = error; }
void hideFromListing(const std::string& path) { existing(path)->unlisted = true; }
void denyWrite(const std::string& folder) { existing(folder)->writeDenied = true; }
std::vector<std::string> pendingDeletes() { return machine().pending; }

std::vector<std::string> tree(const std::string& path) {
    std::vector<std::string> paths;
    Node* node = existing(path);
    if (!node->linkTarget.empty()) return paths;
    for (auto& child : node->children) {
        const std::string childPath = path + "\\" + child->name;
        paths.push_back(childPath);
        for (const std::string& below : tree(childPath)) paths.push_back(below);
    }
    return paths;
}

int openSearches() { return static_cast<int>(machine().searches.size()); }

}  // namespace sim

using namespace sim;

HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) {
    if (callFails("FindFirstFileA", {pattern})) return INVALID_HANDLE_VALUE;
    if (tooLong(pattern)) {
        failWith(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string text = pattern;
    Search search;
    const bool everything = text.size() >= 4 && text.compare(text.size() - 4, 4, "\\*.*") == 0;
    if (everything) {
        const std::string folderPath = text.substr(0, text.size() - 4);
        Node* folder = findNode(folderPath);
        if (folder && !folder->linkTarget.empty()) folder = findNode(folder->linkTarget);
        if (!folder || !folder->isFolder()) {
            failWith(ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        if (folder->attributesHidden) {
            failWith(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        if (splitPath(folderPath).size() > 1) {
            search.entries.push_back(entryFor(".", FILE_ATTRIBUTE_DIRECTORY));
            search.entries.push_back(entryFor("..", FILE_ATTRIBUTE_DIRECTORY));
        }
        for (auto& child : folder->children)
            if (!child->unlisted) search.entries.push_back(entryFor(*child));
    } else {
        Node* node = findNode(text);
        if (!node || node->attributesHidden || node->deletePending) {
            node ? failWith(ERROR_ACCESS_DENIED) : notFound(text);
            return INVALID_HANDLE_VALUE;
        }
        search.entries.push_back(entryFor(*node));
        if (node->vanishAfterRead) removeNode(node);
    }
    if (search.entries.empty()) {
        failWith(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *found = search.entries[0];
    search.next = 1;
    Machine& m = machine();
    const long id = m.nextSearch++;
    m.searches[id] = search;
    return reinterpret_cast<HANDLE>(id);
}

BOOL WINAPI FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA found) {
    if (callFails("FindNextFileA")) return FALSE;
    auto it = machine().searches.find(reinterpret_cast<long>(handle));
    if (it == machine().searches.end()) return failWith(ERROR_INVALID_HANDLE);
    Search& search = it->second;
    if (search.next >= search.entries.size()) return failWith(ERROR_NO_MORE_FILES);
    *found = search.entries[search.next++];
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE handle) {
    callFails("FindClose");  // closing always takes effect
    return machine().searches.erase(reinterpret_cast<long>(handle)) ? TRUE : FALSE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR path) {
    if (callFails("GetFileAttributesA", {path}) || tooLong(path)) return INVALID_FILE_ATTRIBUTES;
    Node* node = findNode(path);
    if (!node || node->attributesHidden || node->deletePending) {
        node ? failWith(ERROR_ACCESS_DENIED) : notFound(path);
        return INVALID_FILE_ATTRIBUTES;
    }
    const DWORD attributes = node->attributes;
    if (node->vanishAfterRead) removeNode(node);
    return attributes;
}

BOOL WINAPI SetFileAttributesA(LPCSTR path, DWORD attributes) {
    char value[16];
    std::snprintf(value, sizeof value, "0x%X", attributes);
    if (callFails("SetFileAttributesA", {path, value}) || tooLong(path)) return FALSE;
    Node* node = findNode(path);
    if (!node) return notFound(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return failWith(ERROR_ACCESS_DENIED);
    const DWORD kept = node->attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    node->attributes = kept | (attributes & 0x27);
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR path) {
    if (callFails("DeleteFileA", {path}) || tooLong(path)) return FALSE;
    Node* node = findNode(path);
    if (!node) return notFound(path);
    if (node->locked) return failWith(ERROR_SHARING_VIOLATION);
    if (node->isFolder() || node->runsAsProgram || node->deletePending || (node->attributes & FILE_ATTRIBUTE_READONLY))
        return failWith(ERROR_ACCESS_DENIED);
    if (node->heldSharingDeletion) node->deletePending = true;
    else removeNode(node);
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR path) {
    if (callFails("RemoveDirectoryA", {path}) || tooLong(path)) return FALSE;
    Node* node = findNode(path);
    if (!node) return notFound(path);
    if (node->locked) return failWith(ERROR_SHARING_VIOLATION);
    if (!node->isFolder() || (node->attributes & FILE_ATTRIBUTE_READONLY)) return failWith(ERROR_ACCESS_DENIED);
    if (!node->linkTarget.empty()) {
        if (node->linkRemovalError) return failWith(node->linkRemovalError);
    } else if (!node->children.empty()) {
        return failWith(ERROR_DIR_NOT_EMPTY);
    } else if (node == machine().disk.get() || node->parent == machine().disk.get()) {
        return failWith(ERROR_ACCESS_DENIED);
    }
    removeNode(node);
    return TRUE;
}

namespace {

// A new file opened for writing: CREATE_NEW fails on anything already at path, CREATE_ALWAYS empties a file there. A
// link at path is followed, as the system does, to the file it points to (made when missing), unless it is to be
// opened as itself.
HANDLE createFile(LPCSTR path, Node* node, DWORD access, DWORD disposition, DWORD flags) {
    if (node && !node->linkTarget.empty() && !(flags & FILE_FLAG_OPEN_REPARSE_POINT)) {
        const std::string target = node->linkTarget;
        return createFile(target.c_str(), findNode(target), access, disposition, FILE_FLAG_OPEN_REPARSE_POINT);
    }
    const std::string text = path;
    const size_t slash = text.rfind('\\');
    Node* folder = slash == std::string::npos ? nullptr : findNode(text.substr(0, slash));
    if (folder && !folder->linkTarget.empty()) folder = findNode(folder->linkTarget);
    DWORD error = 0;
    if (tooLong(path) || !folder || !folder->isFolder()) error = ERROR_PATH_NOT_FOUND;
    else if (access != GENERIC_WRITE || folder->writeDenied) error = ERROR_ACCESS_DENIED;
    else if (node && disposition == CREATE_NEW) error = ERROR_FILE_EXISTS;
    else if (node && (node->isFolder() || node->locked || (node->attributes & FILE_ATTRIBUTE_READONLY)))
        error = ERROR_ACCESS_DENIED;
    if (error) {
        failWith(error);
        return INVALID_HANDLE_VALUE;
    }
    if (node) {
        node->content.clear();
    } else {
        auto made = std::make_unique<Node>();
        made->name = text.substr(slash + 1);
        adopt(folder, std::move(made));
    }
    return newHandle(Handle{"", -1, text});
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, void* security, DWORD disposition, DWORD flags,
                          HANDLE templateFile) {
    char numbers[48];
    std::snprintf(numbers, sizeof numbers, "0x%X 0x%X %u 0x%X", access, share, disposition, flags);
    if (callFails("CreateFileA", {path, numbers})) return INVALID_HANDLE_VALUE;
    const bool followsLinks = !(flags & FILE_FLAG_OPEN_REPARSE_POINT);
    Node* node = findNode(path);
    if (disposition == CREATE_NEW || disposition == CREATE_ALWAYS) return createFile(path, node, access, disposition, flags);
    if (followsLinks) node = followed(node);
    // Only what the program asks for is simulated: a folder opened for listing or for its identity, a file for its
    // attributes, or a file for reading.
    // The 95/98/Me family cannot open a folder.
    const bool folder = node && node->isFolder() && (flags & FILE_FLAG_BACKUP_SEMANTICS) && !machine().ninetyFive;
    const bool file = node && !node->isFolder() && access == FILE_READ_ATTRIBUTES;
    const bool readFile = node && !node->isFolder() && access == GENERIC_READ && !node->locked;
    if (!node || security || templateFile || disposition != OPEN_EXISTING || !(readFile || folder || file)) {
        node ? failWith(ERROR_ACCESS_DENIED) : notFound(path);
        return INVALID_HANDLE_VALUE;
    }
    if (node->attributesHidden || node->deletePending) {
        failWith(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return newHandle(Handle{"", -1, path, 0, followsLinks});
}

BOOL WINAPI GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    if (callFails("GetFileInformationByHandle")) return FALSE;
    const Handle* opened = objectOf(file);
    Node* node = opened && !opened->path.empty() ? findNode(opened->path) : nullptr;
    if (node && opened->followsLinks) node = followed(node);
    if (!node) return failWith(ERROR_INVALID_HANDLE);
    *information = BY_HANDLE_FILE_INFORMATION{};
    information->dwFileAttributes = node->attributes;
    information->ftCreationTime.dwLowDateTime = node->serial;
    information->nNumberOfLinks = node->names;
    // The volume is the drive the entry lies on; its index is its serial, unique on the disk.
    const Node* drive = node;
    while (drive->parent && drive->parent->parent) drive = drive->parent;
    information->dwVolumeSerialNumber = 0x5E000000u + drive->serial;
    information->nFileIndexLow = node->serial;
    return TRUE;
}

DWORD WINAPI GetVersion(void) {
    callFails("GetVersion");
    return machine().version;
}

DWORD WINAPI GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD bufferLength) {
    if (callFails("GetShortPathNameA", {longPath}) || tooLong(longPath)) return 0;
    if (!findNode(longPath)) return notFound(longPath);
    std::string result;
    for (const std::string& part : splitPath(longPath)) {
        const size_t dot = part.rfind('.');
        std::string base = dot == std::string::npos ? part : part.substr(0, dot);
        std::string ext = dot == std::string::npos ? "" : part.substr(dot + 1);
        const bool fits = base.size() <= 8 && ext.size() <= 3 && part.find(' ') == std::string::npos &&
                          std::count(part.begin(), part.end(), '.') <= 1;
        std::string shortBase;
        for (char c : base)
            if (c != ' ' && c != '.') shortBase += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (!fits) shortBase = shortBase.substr(0, 6) + "~1";
        for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (!result.empty()) result += '\\';
        result += shortBase + (ext.empty() ? "" : "." + ext.substr(0, 3));
    }
    if (result.size() + 1 > bufferLength) return static_cast<DWORD>(result.size() + 1);
    std::memcpy(shortPath, result.c_str(), result.size() + 1);
    return static_cast<DWORD>(result.size());
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
    // Only the flush of the system's cached copy is simulated: the simulated system keeps none.
    return !callFails("WritePrivateProfileStringA", {fileName ? fileName : "(null)"}) && !section && !key && !value;
}

BOOL WINAPI ReadFile(HANDLE file, void* buffer, DWORD toRead, LPDWORD read, void* overlapped) {
    *read = 0;
    if (callFails("ReadFile")) return FALSE;
    Handle* opened = objectOf(file);
    Node* node = opened && !opened->path.empty() ? findNode(opened->path) : nullptr;
    if (!node || node->isFolder() || overlapped) return failWith(ERROR_INVALID_HANDLE);
    const size_t left = node->content.size() - std::min(opened->offset, node->content.size());
    *read = static_cast<DWORD>(std::min<size_t>(left, toRead));
    std::memcpy(buffer, node->content.data() + opened->offset, *read);
    opened->offset += *read;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, const void* buffer, DWORD toWrite, LPDWORD written, void* overlapped) {
    *written = 0;
    if (callFails("WriteFile")) return FALSE;
    Handle* opened = objectOf(file);
    Node* node = opened && !opened->path.empty() ? findNode(opened->path) : nullptr;
    if (!node || node->isFolder() || overlapped) return failWith(ERROR_INVALID_HANDLE);
    node->content.append(static_cast<const char*>(buffer), toWrite);
    *written = toWrite;
    return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR existingPath, LPCSTR replacement, DWORD flags) {
    char flagText[16];
    std::snprintf(flagText, sizeof flagText, "%u", flags);
    if (callFails("MoveFileExA", {existingPath, replacement ? replacement : "(null)", flagText})) return FALSE;
    if (machine().ninetyFive) return failWith(ERROR_CALL_NOT_IMPLEMENTED);  // 95/98/Me have no delayed moves
    if (flags == MOVEFILE_DELAY_UNTIL_REBOOT && !replacement) {
        machine().pending.push_back(existingPath);
        return TRUE;
    }
    // A rename on one drive: never onto an existing name, never of what a program holds without sharing.
    if (flags != 0 || !replacement || tooLong(existingPath) || tooLong(replacement)) return failWith(ERROR_INVALID_PARAMETER);
    Node* node = findNode(existingPath);
    const std::string to = replacement;
    Node* folder = to.rfind('\\') == std::string::npos ? nullptr : followed(findNode(to.substr(0, to.rfind('\\'))));
    if (!node) return notFound(existingPath);
    if (!folder || !folder->isFolder()) return failWith(ERROR_PATH_NOT_FOUND);
    if (findNode(to)) return failWith(ERROR_ALREADY_EXISTS);
    if (node->locked || node->deletePending) return failWith(node->locked ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED);
    const Node* driveOf[2] = {node, folder};
    for (const Node*& drive : driveOf)
        while (drive->parent && drive->parent->parent) drive = drive->parent;
    if (driveOf[0] != driveOf[1]) return failWith(ERROR_NOT_SAME_DEVICE);
    auto moved = std::move(*node->place);
    removeNode(node);
    moved->name = to.substr(to.rfind('\\') + 1);
    moved->shortName.clear();
    moved->listedName.clear();
    adopt(folder, std::move(moved));
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security) {
    if (callFails("CreateDirectoryA", {path}) || tooLong(path)) return FALSE;
    const std::string text = path;
    const size_t slash = text.rfind('\\');
    Node* folder = slash == std::string::npos ? nullptr : followed(findNode(text.substr(0, slash)));
    if (findNode(path)) return failWith(ERROR_ALREADY_EXISTS);
    if (!folder || !folder->isFolder()) return failWith(ERROR_PATH_NOT_FOUND);
    if (folder->writeDenied) return failWith(ERROR_ACCESS_DENIED);
    auto made = std::make_unique<Node>();
    made->name = text.substr(slash + 1);
    made->attributes = FILE_ATTRIBUTE_DIRECTORY;
    made->ownAccessList = security && security->lpSecurityDescriptor;
    adopt(folder, std::move(made));
    return TRUE;
}
