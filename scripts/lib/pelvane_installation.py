#!/usr/bin/env python3
# The Pelvane installation the demonstration plants in a Wine prefix, and the report of what a run left of it.
"""Commands (all paths are Linux paths unless named Windows paths):

  write-reg OUT.reg PLACE
      the registry of the installation (every row of the program's table, with values and subkeys, and the
      neighbours that must survive) as a REGEDIT4 file for `regedit /S`.
  plant-files PREFIX PLACE OUT.bat
      makes the installation's files in the prefix's drive C: (PLACE is "default" or "moved"), read-only ones by
      chmod; OUT.bat gets the attrib commands that set the hidden and system bits from inside Wine.
  snapshot PREFIX OUT.json
      reads the prefix's registry files (its wineserver must be stopped, so that they are written) and the trees
      of files the installation lives in.
  report BEFORE.json AFTER.json LOG PLACE EXIT_CODE [--interactive] [--held WINDOWS_PATH]...
      prints the log and, side by side, what was planted, what the log says and what is left; then checks that
      every registry entry and every planted file was handled and every neighbour kept. Exit status 0 when all
      checks pass.
  restart AFTER.json RESTARTED.json PLACE
      what the simulated restart removed of what the run left; exit status 0 when the installation is gone.
"""

import hashlib
import json
import os
import re
import stat
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TABLE_SOURCE = os.path.join(HERE, "..", "..", "registry", "registry_table.cpp")

PLACES = {
    "default": "C:\\Program Files\\Quenderholt\\Pelvane",
    "moved": "C:\\Tools\\Pelvane 6",
}
# The trees a snapshot reads: where the installation lives, at either place, with what stands around it.
WATCHED_TREES = ["C:\\Program Files\\Quenderholt", "C:\\Tools"]
ROOT_NAMES = {"HKCR": "HKEY_CLASSES_ROOT", "HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE"}
SESSION_MANAGER = "SYSTEM\\CurrentControlSet\\Control\\Session Manager"


def registry_table():
    """The program's own table, read from its source: (row, key text, value name or None)."""
    with open(TABLE_SOURCE, encoding="utf-8") as source:
        text = source.read()
    body = text[text.index("registryCleanupTable[]"):]
    body = body[:body.index("nullptr")]
    rows = []
    for number, literal in enumerate(re.findall(r'"((?:[^"\\]|\\.)*)"', body), start=1):
        entry = literal.replace("\\\\", "\x00").replace("\\t", "\t").replace("\x00", "\\")
        key, _, value = entry.partition("\t")
        rows.append((number, key, value or None))
    if len(rows) != 31:
        raise SystemExit(f"expected 31 rows in {TABLE_SOURCE}, read {len(rows)}")
    return rows


# ---- What is planted ----

def product_path(place, name=""):
    return PLACES[place] + ("\\" + name if name else "")


def key_contents(key, place="default"):
    """Values and subkeys planted in the key of one table row: {subkey path: {value name: data}}; "" is the key."""
    exe = product_path("default", "pvshell.exe")
    dll = product_path("default", "pelvane32.dll")
    name = key.split("\\")[-1]
    if "FileExts" in key:
        return {"": {"Progid": "Pelvane.File.Package"}, "OpenWithList": {"a": "pvshell.exe", "MRUList": "a"}}
    if "MenuOrder" in key:
        return {"": {"Order": "hex:08,00,00,00,02,00,00,00"}, "Pelvane 6": {"Order": "hex:08,00,00,00,00,00,00,00"}}
    if name in (".pvp", ".pvx"):
        kind = "Package" if name == ".pvp" else "Keyboard"
        return {"": {"": f"Pelvane.File.{kind}", "Content Type": f"application/x-pelvane-{kind.lower()}"},
                "ShellNew": {"NullFile": ""}}
    if name == "pvshell.exe":
        return {"": {"FriendlyAppName": "Pelvane Shell"}, "shell\\open\\command": {"": f'"{exe}" "%1"'}}
    if name.startswith("{3C5E91A7"):
        if "\\TIP\\" in key:
            return {"": {"Enable": "1"},
                    "LanguageProfile\\0x00000409\\{A1F0E3C2-5B7D-4E19-9C2A-6D48B1F07E35}":
                        {"Description": "Pelvane ZQ", "IconFile": dll, "IconIndex": "0"}}
        return {"": {"": "Pelvane Text Input Processor"},
                "InprocServer32": {"": dll, "ThreadingModel": "Apartment"}}
    if name.startswith("Pelvane.File."):
        kind = name.rsplit(".", 1)[1]
        return {"": {"": f"Pelvane {kind}"}, "DefaultIcon": {"": f"{dll},1"},
                "shell\\open\\command": {"": f'"{exe}" /open "%1"'}}
    if key.endswith("\\Quenderholt") and key.startswith("HKCU"):
        return {"": {"Last User": "demo"},
                "Pelvane\\6.0": {"Layout": "ZQ", "Hotkey": "dword:00000051"},
                "Pelvane\\6.0\\Recent Packages": {"1": "richtext", "2": "pvtip"}}
    if key.endswith("\\Quenderholt"):
        return {"Pelvane\\6.0": {"InstallPath": product_path(place), "Version": "6.0.159",
                                 "SharedComponents": "dword:00000001"},
                "Pelvane\\6.0\\Packages": {"richtext": "1.2", "pvtip": "6.0"}}
    if "\\Uninstall\\" in key:
        return {"": {"DisplayName": name, "Publisher": "Quenderholt", "DisplayVersion": "6.0.159",
                     "UninstallString": f'"{product_path(place, "uninst.exe")}" /remove "{name}"'}}
    if name == "000105C9":
        return {"": {"Layout File": "KBDUS.DLL", "Layout Text": "Pelvane ZQ", "Layout Id": "00c9",
                     "Layout Display Name": f"@{dll},-1001"}}
    raise SystemExit(f"no planting for {key}")


# Neighbours: the entries beside the program's targets that must survive every run. (Section, subkey or value.)
NEIGHBOUR_KEYS = [
    "HKCR\\.pvpx",
    "HKCR\\Pelvane.File.Packager",
    "HKCR\\CLSID\\{3C5E91A7-2D4B-4F08-A6E3-5B17C9D204F7}",
    "HKCU\\Software\\Quenderholt Tools",
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.pvnx",
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs\\Quenderholt Tools",
    "HKLM\\SOFTWARE\\Quenderholt Fonts",
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenderholt Pelvane 6.0.1",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts\\000105C8",
]
NEIGHBOUR_VALUES = [
    ("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "pelvane.exe.bak", "C:\\Backup\\pelvane.exe"),
    ("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Pelvane Updater", "C:\\Tools\\pvupdate.exe"),
    ("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "pelvane", "C:\\Tools\\other-pelvane.exe"),
]


def reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def reg_value_line(name, data):
    left = "@" if name == "" else reg_string(name)
    right = data if re.match(r"^(dword|hex):", data) else reg_string(data)
    return f"{left}={right}"


def planted_registry(place="default"):
    """Every key planted, as {"ROOT\\path": {value name: data}}, in planting order."""
    keys = {}
    for _, key, value in registry_table():
        if value is None:
            for sub, values in key_contents(key, place).items():
                keys.setdefault(key + ("\\" + sub if sub else ""), {}).update(values)
        else:
            keys.setdefault(key, {})[value] = f'"{product_path(place, "pelvane.exe")}" /tray'
    for key in NEIGHBOUR_KEYS:
        keys.setdefault(key, {}).update({"": "a neighbour of the product's entries", "Kept": "dword:00000001"})
    for key, name, data in NEIGHBOUR_VALUES:
        keys.setdefault(key, {})[name] = data
    return keys


def write_reg(out, place="default"):
    lines = ["REGEDIT4", ""]
    for key, values in planted_registry(place).items():
        root, _, path = key.partition("\\")
        lines.append(f"[{ROOT_NAMES[root]}\\{path}]")
        lines.extend(reg_value_line(name, data) for name, data in values.items())
        lines.append("")
    with open(out, "w", encoding="ascii", newline="\r\n") as reg:
        reg.write("\n".join(lines) + "\n")


# Files of the installation, relative to its folder: (name, attributes, bytes). R read-only, H hidden, S system.
PRODUCT_FILES = [
    ("pelvane32.dll", "", 24576),
    ("pelvane.exe", "", 61440),
    ("pvshell.exe", "", 20480),
    ("pvtip.dll", "", 16384),
    ("uninst.exe", "", 8192),
    ("readme.txt", "R", 1800),
    ("license.txt", "R", 2400),
    ("Keyboards\\zq.pvk", "", 3000),
    ("Keyboards\\zq beta.pvk", "R", 3100),
    ("Keyboards\\Custom\\my layout.pvk", "", 900),
    ("Packages\\richtext\\richtext.pvp", "", 5000),
    ("Packages\\pvtip\\pvtip.pvp", "", 4000),
    ("Help\\pelvane.hlp", "", 12000),
    ("Help\\desktop.ini", "HS", 120),
    ("Data\\settings.dat", "H", 700),
    ("Data\\index.db", "S", 4096),
    ("Data\\state.bin", "RHS", 256),
]
PRODUCT_EMPTY_FOLDERS = ["Logs"]
# Files beside the installation that must survive: at each place, siblings sharing its name and files above it.
NEIGHBOUR_FILES = {
    "default": ["C:\\Program Files\\Quenderholt\\Pelvane Fonts\\pvfonts.ttf",
                "C:\\Program Files\\Quenderholt\\shared.dll"],
    "moved": ["C:\\Tools\\Pelvane 6.old\\pelvane32.dll", "C:\\Tools\\notes.txt"],
}


def linux_path(prefix, windows_path):
    if not windows_path[:3].upper() == "C:\\":
        raise SystemExit(f"not on drive C: {windows_path}")
    return os.path.join(prefix, "drive_c", *windows_path[3:].split("\\"))


def file_bytes(windows_path, size):
    """Recognisable contents: a header naming the file, then a repeated pattern."""
    head = f"Pelvane 6 demonstration file {windows_path}\r\n".encode("ascii")
    body = bytes((i * 7 + len(windows_path)) & 0xFF for i in range(256))
    data = head + body * (size // 256 + 1)
    return data[:max(size, len(head))]


def plant_files(prefix, place, bat):
    folder = PLACES[place]
    attrib_lines = ["@echo off"]
    for name, attributes, size in PRODUCT_FILES:
        path = folder + "\\" + name
        target = linux_path(prefix, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as out:
            out.write(file_bytes(path, size))
        # Wine's attrib sets one bit per call reliably; read-only is the Unix write permission.
        for bit in "HS":
            if bit in attributes:
                attrib_lines.append(f'attrib +{bit.lower()} "{path}"')
    for name in PRODUCT_EMPTY_FOLDERS:
        os.makedirs(linux_path(prefix, folder + "\\" + name), exist_ok=True)
    for path in NEIGHBOUR_FILES[place]:
        target = linux_path(prefix, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as out:
            out.write(file_bytes(path, 1000))
    for name, attributes, _ in PRODUCT_FILES:
        if "R" in attributes:
            target = linux_path(prefix, folder + "\\" + name)
            os.chmod(target, os.stat(target).st_mode & ~(stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH))
    with open(bat, "w", encoding="ascii", newline="\r\n") as out:
        out.write("\n".join(attrib_lines) + "\n")


# ---- Reading a prefix ----

def unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x":
                digits = re.match(r"[0-9a-fA-F]{1,4}", text[i + 2:])
                if digits:
                    out.append(chr(int(digits.group(0), 16)))
                    i += 2 + len(digits.group(0))
                    continue
            out.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0"}.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def read_wine_registry(path):
    """A Wine registry file as {lowercased key path: (key path, {lowercased value name: (name, data text)})}."""
    keys, current = {}, None
    with open(path, encoding="utf-8", errors="replace") as reg:
        lines = reg.read().split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        while line.endswith("\\") and i + 1 < len(lines):  # a value continued on the next line
            i += 1
            line = line[:-1] + lines[i].strip()
        i += 1
        if line.startswith("["):
            end = line.rfind("]")
            name = unescape(line[1:end])
            current = keys.setdefault(name.lower(), (name, {}))[1]
        elif current is not None and (line.startswith('"') or line.startswith("@=")):
            if line.startswith("@="):
                name, data = "", line[2:]
            else:
                match = re.match(r'"((?:[^"\\]|\\.)*)"=(.*)$', line)
                if not match:
                    continue
                name, data = unescape(match.group(1)), match.group(2)
            current[name.lower()] = (name, data)
    return keys


def registry_location(key):
    """Which Wine file holds a key and its path there. Wine keeps HKCR as HKLM\\Software\\Classes itself."""
    root, _, path = key.partition("\\")
    if root == "HKCR":
        return "system", "Software\\Classes\\" + path
    return ("user" if root == "HKCU" else "system"), path


def data_text(data):
    """A value's data as stored by Wine, made readable."""
    if data.startswith('"'):
        return unescape(data[1:-1])
    if data.startswith("str(7):"):
        return " | ".join(part for part in unescape(data[8:-1]).split("\0") if part)
    if data.startswith("dword:"):
        return str(int(data[6:], 16))
    return data


def key_subtree(registry, path):
    """A key and every key below it: {relative path: {value name: data}}; None when the key is missing."""
    lowered = path.lower()
    tree = {}
    # Wine's files name only the keys that hold values or nothing at all: a key that holds only subkeys shows
    # through them.
    for lower, (name, values) in registry.items():
        if lower == lowered or lower.startswith(lowered + "\\"):
            tree[name[len(path) + 1:]] = {v[0]: data_text(v[1]) for v in values.values()}
    if not tree:
        return None
    tree.setdefault("", {})
    return tree


def file_attributes(path):
    info = os.lstat(path)
    bits = ""
    if not info.st_mode & stat.S_IWUSR:
        bits += "R"
    try:
        dos = int(os.getxattr(path, "user.DOSATTRIB").decode().strip("\0"), 16)
    except (OSError, ValueError):
        dos = 0
    if dos & 2 or os.path.basename(path).startswith("."):
        bits += "H"
    if dos & 4:
        bits += "S"
    return bits


def snapshot(prefix, out):
    registries = {name: read_wine_registry(os.path.join(prefix, name + ".reg")) for name in ("system", "user")}
    shot = {"registry": {}, "values": {}, "files": {}, "pending": [], "wininit": None}
    keys = [key for _, key, value in registry_table() if value is None] + NEIGHBOUR_KEYS
    for key in keys:
        where, path = registry_location(key)
        shot["registry"][key] = key_subtree(registries[where], path)
    value_keys = [(key, value) for _, key, value in registry_table() if value] + \
                 [(key, name) for key, name, _ in NEIGHBOUR_VALUES]
    for key, name in value_keys:
        where, path = registry_location(key)
        values = registries[where].get(path.lower(), (None, None))[1]
        found = None if values is None else values.get(name.lower())
        shot["values"][key + "\t" + name] = None if found is None else data_text(found[1])
        shot["values"][key + "\t(key)"] = values is not None
    session = registries["system"].get(SESSION_MANAGER.lower(), (None, {}))[1]
    pending = session.get("pendingfilerenameoperations")
    if pending:
        shot["pending"] = [p for p in unescape(pending[1][8:-1]).split("\0") if p]
    for tree in WATCHED_TREES:
        base = linux_path(prefix, tree)
        if not os.path.isdir(base):
            continue
        for directory, folders, files in os.walk(base):
            folders.sort()
            for name in sorted(folders) + sorted(files):
                full = os.path.join(directory, name)
                windows = tree + "\\" + os.path.relpath(full, base).replace("/", "\\")
                entry = {"type": "folder" if os.path.isdir(full) else "file", "attributes": file_attributes(full)}
                if entry["type"] == "file":
                    with open(full, "rb") as data:
                        content = data.read()
                    entry["size"] = len(content)
                    entry["sha1"] = hashlib.sha1(content).hexdigest()
                shot["files"][windows] = entry
        shot["files"][tree] = {"type": "folder", "attributes": file_attributes(base)}
    for name in os.listdir(os.path.join(prefix, "drive_c", "windows")):
        if name.lower() == "wininit.ini":
            with open(os.path.join(prefix, "drive_c", "windows", name), "rb") as ini:
                shot["wininit"] = ini.read().decode("cp1252")
    with open(out, "w", encoding="utf-8") as target:
        json.dump(shot, target, indent=1)


# ---- Reports ----

def load(path):
    with open(path, encoding="utf-8") as source:
        return json.load(source)


def describe_key(tree):
    if tree is None:
        return "missing"
    values = sum(len(v) for v in tree.values())
    # Every key below, the ones that only lead to others included.
    subkeys = len({"\\".join(name.split("\\")[:depth])
                   for name in tree if name for depth in range(1, name.count("\\") + 2)})
    return f"key, {values} value{'s' if values != 1 else ''}, {subkeys} subkey{'s' if subkeys != 1 else ''}"


def describe_file(entry):
    if entry is None:
        return "missing"
    attributes = f" {entry['attributes']}" if entry["attributes"] else ""
    if entry["type"] == "folder":
        return "folder" + attributes
    return f"file {entry['size']:>5} B{attributes}"


def log_lines(log_path):
    with open(log_path, "rb") as log:
        data = log.read()
    return data.decode("cp1252").split("\r\n")


def registry_lines(lines):
    try:
        start = lines.index("Registry cleanup") + 3
    except ValueError:
        return []
    out = []
    for line in lines[start:]:
        if not line.startswith(("Registry key ", "Registry value ")):
            break
        out.append(line)
    return out


def registry_outcome(line, key, value):
    """What the log line says about one table row: deleted, not found, could not be deleted; None: other row."""
    if value is None:
        for text, outcome in ((f"Registry key {key} deleted (with all subkeys)", "deleted"),
                              (f"Registry key {key} not found", "not found"),
                              (f"Registry key {key} could not be deleted", "NOT DELETED")):
            if line == text:
                return outcome
        return None
    for text, outcome in ((f"Registry value {value} deleted from key {key}", "deleted"),
                          (f"Registry value {value} not found in key {key}", "not found"),
                          (f"Registry value {value} could not be deleted from key {key}", "NOT DELETED"),
                          (f"Registry key {key} not found", "not found")):
        if line == text:
            return outcome
    return None


def file_outcomes(lines):
    outcomes = {}
    for line in lines:
        match = re.match(r"^(File|Directory) (.*?) (deleted|will be deleted on the next reboot|will not be deleted)$",
                         line)
        if match:
            outcomes[match.group(2)] = {"deleted": "deleted", "will not be deleted": "kept by the user"}.get(
                match.group(3), "at restart")
    return outcomes


def inside_folder(path, folder):
    """Whether a path is the folder or anything in it (case as Windows ignores it)."""
    return path.lower() == folder.lower() or path.lower().startswith(folder.lower() + "\\")


class Checks:
    def __init__(self):
        self.failures = []
        self.passed = 0

    def check(self, condition, what):
        if condition:
            self.passed += 1
        else:
            self.failures.append(what)


def report(before_path, after_path, log_path, place, exit_code, interactive, held):
    before, after = load(before_path), load(after_path)
    checks = Checks()
    print("---- the cleanup log " + "-" * 60)
    if not os.path.exists(log_path):
        print("(no log was written)")
        lines = []
    else:
        lines = log_lines(log_path)
        print("\n".join(lines).rstrip("\n"))
    print("-" * 81)

    table = registry_table()
    said = registry_lines(lines)
    print("\nRegistry: the program's 31 entries and the neighbours beside them")
    print(f"{'#':>2}  {'planted':<27} {'the log says':<14} {'after the run':<14} entry")
    checks.check(len(said) == len(table), f"the log has {len(said)} registry lines, one per entry expected ({len(table)})")
    deleted_keys = {}
    for number, key, value in table:
        line = said[number - 1] if number - 1 < len(said) else ""
        outcome = registry_outcome(line, key, value) or "NO LINE"
        if value is None:
            planted, left = before["registry"].get(key), after["registry"].get(key)
            shown = key
            planted_text, left_text = describe_key(planted), ("gone" if left is None else "STILL THERE")
            if outcome == "deleted":
                deleted_keys[key.lower()] = number
        else:
            planted, left = before["values"].get(key + "\t" + value), after["values"].get(key + "\t" + value)
            shown = f"{key}  [{value}]"
            planted_text = "value" if planted is not None else "missing"
            left_text = "gone" if left is None else "STILL THERE"
        note = ""
        if outcome == "not found" and key.startswith("HKLM\\SOFTWARE\\Classes\\"):
            twin = "hkcr\\" + key[len("HKLM\\SOFTWARE\\Classes\\"):].lower()
            if twin in deleted_keys:
                note = f"   (the same key as row {deleted_keys[twin]} in Wine)"
                checks.passed += 1
            else:
                checks.check(planted is None, f"row {number}: planted but logged as not found: {key}")
        elif planted is not None:
            checks.check(outcome == "deleted", f"row {number}: planted, but the log says {outcome}: {shown}")
        else:
            checks.check(outcome == "not found", f"row {number}: not planted, but the log says {outcome}: {shown}")
        checks.check(left is None, f"row {number}: still in the registry after the run: {shown}")
        print(f"{number:>2}  {planted_text:<27} {outcome:<14} {left_text:<14} {shown}{note}")
    for key in NEIGHBOUR_KEYS:
        planted, left = before["registry"].get(key), after["registry"].get(key)
        kept = planted is not None and planted == left
        checks.check(kept, f"the neighbour key {key} changed")
        print(f"{'-':>2}  {describe_key(planted):<27} {'':<14} {'kept' if kept else 'CHANGED':<14} {key}   (neighbour)")
    for key, name, _ in NEIGHBOUR_VALUES:
        planted, left = before["values"].get(key + "\t" + name), after["values"].get(key + "\t" + name)
        kept = planted is not None and planted == left
        checks.check(kept, f"the neighbour value {name} in {key} changed")
        print(f"{'-':>2}  {'value':<27} {'':<14} {'kept' if kept else 'CHANGED':<14} {key}  [{name}]   (neighbour)")
    # What was deleted was saved first, to a registry file beside the log that the log names.
    saved = [line for line in lines if line.startswith("Registry entries saved to ")]
    saved_file = os.path.join(os.path.dirname(log_path), "PelvaneCleanup.reg")
    if any(outcome == "deleted" for outcome in (registry_outcome(line, key, value)
                                                 for line, (_, key, value) in zip(said, table))):
        checks.check(len(saved) == 1 and saved[0].endswith("\\PelvaneCleanup.reg before deletion")
                     and os.path.isfile(saved_file), "the log names no saved registry file beside it, or it is not there")
        print(f"    {saved[0] if saved else 'NO LINE naming the saved registry file'}")

    folder = PLACES[place]
    handled = file_outcomes(lines)
    held = {path.lower() for path in held}
    print(f"\nFiles: the installation in {folder} and the files beside it")
    print(f"{'planted':<18} {'the log says':<17} {'after the run':<15} path")
    for path, entry in sorted(before["files"].items(), key=lambda item: item[0].lower().split("\\")):
        left = after["files"].get(path)
        inside = inside_folder(path, folder)
        outcome = handled.get(path, "" if not inside else "NO LINE")
        if inside:
            # A held file waits for the restart, and so does every folder that holds it.
            waits = any(h == path.lower() or h.startswith(path.lower() + "\\") for h in held)
            expected = "at restart" if waits else "deleted"
            checks.check(outcome == expected, f"{path}: the log says {outcome}, expected {expected}")
            if expected == "deleted":
                checks.check(left is None, f"{path}: still there after the run")
                left_text = "gone" if left is None else "STILL THERE"
            else:
                checks.check(left is not None, f"{path}: gone although it could not be deleted at once")
                left_text = "there, pending" if left is not None else "gone"
        else:
            kept = left == entry
            checks.check(kept, f"{path}: a neighbour, changed by the run")
            left_text = "kept" if kept else "CHANGED"
        print(f"{describe_file(entry):<18} {outcome:<17} {left_text:<15} {path}")
    for path in after["files"]:
        if path not in before["files"]:
            checks.check(False, f"{path}: appeared during the run")
            print(f"{'missing':<18} {'':<17} {'NEW':<15} {path}")
    checks.check(folder in before["files"], f"the installation {folder} was not planted")

    if after["pending"]:
        print("\nRegistered for deletion at the next restart (PendingFileRenameOperations):")
        for path in after["pending"]:
            print(f"  {path}")
    if after["wininit"] is not None:
        print("\nC:\\windows\\WININIT.INI:")
        print("  " + after["wininit"].replace("\r\n", "\n").rstrip("\n").replace("\n", "\n  "))

    expected_exit = 0
    checks.check(exit_code == expected_exit, f"exit code {exit_code}, expected {expected_exit}")
    print()
    if checks.failures:
        print(f"{'Observed' if interactive else 'FAILED'}: {len(checks.failures)} of "
              f"{len(checks.failures) + checks.passed} checks did not hold:")
        for failure in checks.failures:
            print(f"  - {failure}")
        return 1
    files_handled = sum(1 for path in before["files"] if inside_folder(path, folder))
    print(f"All {checks.passed} checks hold: every one of the 31 registry entries has its log line, "
          f"{files_handled} planted files and folders were handled, every neighbour is as it was, exit code "
          f"{exit_code}.")
    return 0


def restart_report(after_path, restarted_path, place):
    """What the restart removed: everything of the installation must be gone."""
    after, restarted = load(after_path), load(restarted_path)
    folder = PLACES[place]
    print(f"{'before the restart':<20} {'after the restart':<20} path")
    missed = []
    for path, entry in sorted(after["files"].items(), key=lambda item: item[0].lower().split("\\")):
        left = restarted["files"].get(path)
        inside = inside_folder(path, folder)
        if inside and left is not None:
            missed.append(path)
        if not inside and left != entry:
            missed.append(path + " (a neighbour, changed)")
        print(f"{describe_file(entry):<20} {('gone' if left is None else describe_file(left)):<20} {path}")
    if restarted["pending"]:
        print("Still registered for the next restart: " + "; ".join(restarted["pending"]))
    if missed:
        print(f"NOT removed by the restart: {'; '.join(missed)}")
        return 1
    print(f"{folder}: everything gone after the restart")
    return 0


def main(argv):
    if len(argv) < 2 or argv[1] in ("-h", "--help"):
        print(__doc__)
        return 0 if len(argv) >= 2 else 2
    command, args = argv[1], argv[2:]
    if command == "write-reg" and len(args) == 2 and args[1] in PLACES:
        write_reg(args[0], args[1])
    elif command == "plant-files" and len(args) == 3 and args[1] in PLACES:
        plant_files(args[0], args[1], args[2])
    elif command == "snapshot" and len(args) == 2:
        snapshot(args[0], args[1])
    elif command == "report" and len(args) >= 5 and args[3] in PLACES:
        held, rest = [], args[5:]
        interactive = "--interactive" in rest
        for i, word in enumerate(rest):
            if word == "--held" and i + 1 < len(rest):
                held.append(rest[i + 1])
        return report(args[0], args[1], args[2], args[3], int(args[4]), interactive, held)
    elif command == "restart" and len(args) == 3 and args[2] in PLACES:
        return restart_report(args[0], args[1], args[2])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
