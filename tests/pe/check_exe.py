#!/usr/bin/env python3
"""Checks the built 32-bit product: PE header, imports, size, icon group and version record.

Usage: check_exe.py "build/win32/Remove Pelvane.exe". Prints one line per check and ends with
"N passed, N failed"; exits non-zero when any check fails.
"""
import struct
import sys

# shell32 is not among them: its folder function, missing from the first shells of 95 and NT4, is found at run time.
ALLOWED_DLLS = {'kernel32.dll', 'user32.dll', 'comdlg32.dll', 'advapi32.dll', 'shlwapi.dll', 'msvcrt.dll'}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
VERSION_STRINGS = {
    'Comments': '', 'CompanyName': 'Quenderholt', 'FileDescription': 'Remove Pelvane',
    'FileVersion': '6, 0, 159, 1', 'InternalName': 'Remove Pelvane', 'LegalTrademarks': '',
    'OriginalFilename': 'Remove Pelvane.exe', 'PrivateBuild': '', 'ProductName': 'Quenderholt Remove Pelvane',
    'ProductVersion': '6, 0, 159, 1', 'SpecialBuild': '',
}


class Pe:
    """The parts of a PE image the checks need, read straight from its bytes."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('no PE signature')
        self.machine, sections, _, _, _, optional_size, self.characteristics = struct.unpack_from('<HHIIIHH', data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from('<H', data, opt)[0]
        self.subsystem_version = struct.unpack_from('<HH', data, opt + 48)
        self.subsystem = struct.unpack_from('<H', data, opt + 68)[0]
        directories = opt + (96 if self.magic == 0x10B else 112)
        self.directories = [struct.unpack_from('<II', data, directories + 8 * i) for i in range(16)]
        table = opt + optional_size
        self.sections = []
        for i in range(sections):
            name, vsize, vaddr, rsize, raddr = struct.unpack_from('<8sIIII', data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rsize), raddr))

    def offset(self, rva):
        for vaddr, size, raddr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raddr
        raise ValueError('address %#x outside every section' % rva)

    def cstring(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b'\0', at)].decode('latin-1')

    def imports(self):
        rva = self.directories[1][0]
        names = []
        while True:
            descriptor = struct.unpack_from('<IIIII', self.data, self.offset(rva))
            if not any(descriptor):
                return names
            names.append(self.cstring(descriptor[3]))
            rva += 20

    def resources(self):
        """{type: {name: data}} for the first language of each resource."""
        base = self.directories[2][0]

        def entries(rva):
            at = self.offset(rva)
            named, numbered = struct.unpack_from('<HH', self.data, at + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from('<II', self.data, at + 16 + 8 * i)
                yield ident, target

        found = {}
        for type_id, type_target in entries(base):
            for name_id, name_target in entries(base + (type_target & 0x7FFFFFFF)):
                language_target = next(entries(base + (name_target & 0x7FFFFFFF)))[1]
                data_rva, size = struct.unpack_from('<II', self.data, self.offset(base + language_target))
                at = self.offset(data_rva)
                found.setdefault(type_id, {})[name_id] = self.data[at:at + size]
        return found


def version_tree(block, at=0):
    """One node of a version record: (key, value bytes, children)."""
    length, value_length, kind = struct.unpack_from('<HHH', block, at)
    end = at + length
    key_at = at + 6
    key_end = key_at
    while block[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = block[key_at:key_end].decode('utf-16-le')
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if kind == 1 else value_length
    value = block[value_at:value_at + value_size]
    children = []
    child = (value_at + value_size + 3) & ~3
    while child < end:
        node, child_end = version_tree(block, child)
        children.append(node)
        child = (child_end + 3) & ~3
    return (key, value, children), end


class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, what, ok, seen=''):
        print('%s: %s%s' % ('ok' if ok else 'FAILED', what, '' if ok else ' (saw %s)' % (seen,)))
        if ok:
            self.passed += 1
        else:
            self.failed += 1


def main(path):
    data = open(path, 'rb').read()
    pe = Pe(data)
    c = Checks()
    c.check('at most 64 KiB', len(data) <= 65536, len(data))
    c.check('32-bit x86 image (PE32, machine 0x14C)', pe.magic == 0x10B and pe.machine == 0x14C,
            (hex(pe.magic), hex(pe.machine)))
    c.check('GUI subsystem', pe.subsystem == 2, pe.subsystem)
    c.check('subsystem version 4.0', pe.subsystem_version == (4, 0), pe.subsystem_version)
    dlls = [name.lower() for name in pe.imports()]
    c.check('imports only the six system libraries', set(dlls) <= ALLOWED_DLLS, sorted(set(dlls) - ALLOWED_DLLS))
    resources = pe.resources()
    c.check('no manifest', RT_MANIFEST not in resources, sorted(resources.get(RT_MANIFEST, {})))
    groups = resources.get(RT_GROUP_ICON, {})
    c.check('icon group 103', list(groups) == [103], sorted(groups))
    if 103 in groups:
        group = groups[103]
        count = struct.unpack_from('<HHH', group, 0)[2]
        images = set()
        for i in range(count):
            width, height, colours, _, planes, bits, size, ident = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i)
            icon = resources.get(RT_ICON, {}).get(ident, b'')
            header_bits = struct.unpack_from('<H', icon, 14)[0] if len(icon) >= 16 else None
            images.add((width, height, bits, header_bits, len(icon) == size))
        c.check('four icon images: 16 and 32 pixels in 16 and 256 colours',
                images == {(16, 16, 4, 4, True), (32, 32, 4, 4, True), (16, 16, 8, 8, True), (32, 32, 8, 8, True)},
                sorted(images))
    versions = resources.get(RT_VERSION, {})
    c.check('one version record', len(versions) == 1, sorted(versions))
    if len(versions) == 1:
        (key, fixed, children), _ = version_tree(next(iter(versions.values())))
        fields = struct.unpack_from('<13I', fixed)
        c.check('fixed file info signature', key == 'VS_VERSION_INFO' and fields[0] == 0xFEEF04BD, (key, fields[0]))
        c.check('file version 6.0.159.1', fields[2:4] == ((6 << 16) | 0, (159 << 16) | 1), fields[2:4])
        c.check('product version 6.0.159.1', fields[4:6] == ((6 << 16) | 0, (159 << 16) | 1), fields[4:6])
        c.check('flags mask 0x3F, flags 0', fields[6:8] == (0x3F, 0), fields[6:8])
        c.check('OS 0x40004, type application', fields[8:11] == (0x40004, 1, 0), fields[8:11])
        string_info = [child for child in children if child[0] == 'StringFileInfo']
        tables = string_info[0][2] if string_info else []
        c.check('one string table in code page 1200', len(tables) == 1 and tables[0][0].lower().endswith('04b0'),
                [t[0] for t in tables])
        if tables:
            strings = {k: v.decode('utf-16-le').rstrip('\0') for k, v, _ in tables[0][2]}
            c.check('version strings', strings == VERSION_STRINGS, strings)
    print('%d passed, %d failed' % (c.passed, c.failed))
    return 1 if c.failed else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
