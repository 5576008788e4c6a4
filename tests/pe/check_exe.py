#!/usr/bin/python3
"""Checks the built 32-bit product with pefile (Debian's python3-pefile): header, imports, relocations, size, icon
group, version record, and nothing that makes two builds of the same sources differ.

Usage: check_exe.py "build/win32/Remove Pelvane.exe" [BUILD-FOLDER...] (folders whose paths the file must not hold).
Prints one line per check and "N passed, N failed"; exits non-zero when any check fails.
"""
import struct
import sys

import pefile

# A subset, not a list to match: a build may import fewer of them. shell32 is not among them: its folder function,
# missing from the first shells of 95 and NT4, is found at run time.
ALLOWED_DLLS = {'kernel32.dll', 'user32.dll', 'comdlg32.dll', 'advapi32.dll', 'msvcrt.dll'}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
VERSION_6_0_159_1 = ((6 << 16) | 0, (159 << 16) | 1)
VERSION_STRINGS = {
    'Comments': '', 'CompanyName': 'Quenderholt', 'FileDescription': 'Remove Pelvane',
    'FileVersion': '6, 0, 159, 1', 'InternalName': 'Remove Pelvane', 'LegalTrademarks': '',
    'OriginalFilename': 'Remove Pelvane.exe', 'PrivateBuild': '', 'ProductName': 'Quenderholt Remove Pelvane',
    'ProductVersion': '6, 0, 159, 1', 'SpecialBuild': '',
}
FOUR_ICONS = {(16, 16, 4, 4, True), (32, 32, 4, 4, True), (16, 16, 8, 8, True), (32, 32, 8, 8, True)}


def resources(pe):
    """{type: {name: data}} for the first language of each resource, and the time stamps of every directory."""
    found, stamps = {}, []
    root = getattr(pe, 'DIRECTORY_ENTRY_RESOURCE', None)
    if root:
        stamps.append(root.struct.TimeDateStamp)
        for kind in root.entries:
            stamps.append(kind.directory.struct.TimeDateStamp)
            for name in kind.directory.entries:
                stamps.append(name.directory.struct.TimeDateStamp)
                data = name.directory.entries[0].data.struct
                found.setdefault(kind.id, {})[name.id] = pe.get_data(data.OffsetToData, data.Size)
    return found, stamps


def icon_images(group, icons):
    """(width, height, bits in the group, bits in the image's own header, sizes agree) for each image of a group."""
    images = set()
    for i in range(struct.unpack_from('<HHH', group, 0)[2]):
        width, height, _, _, _, bits, size, ident = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i)
        icon = icons.get(ident, b'')
        images.add((width, height, bits, struct.unpack_from('<H', icon, 14)[0] if len(icon) >= 16 else None,
                    len(icon) == size))
    return images


def main(path, build_paths):
    data = open(path, 'rb').read()
    pe = pefile.PE(data=data)
    header, directory = pe.OPTIONAL_HEADER, pe.OPTIONAL_HEADER.DATA_DIRECTORY
    found, stamps = resources(pe)
    dlls = {entry.dll.decode().lower() for entry in getattr(pe, 'DIRECTORY_ENTRY_IMPORT', [])}
    groups = found.get(RT_GROUP_ICON, {})
    images = 103 in groups and icon_images(groups[103], found.get(RT_ICON, {}))
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, 'VS_FIXEDFILEINFO', None) else None
    tables = [(t.LangID.decode().lower(), {k.decode(): v.decode() for k, v in t.entries.items()})
              for info in (pe.FileInfo[0] if fixed else []) if info.Key == b'StringFileInfo' for t in info.StringTable]
    debug = directory[pefile.DIRECTORY_ENTRY['IMAGE_DIRECTORY_ENTRY_DEBUG']].Size
    leaks = [p for p in build_paths for form in (p.encode(), p.encode('utf-16-le')) if form in data]
    checksum = hex(pe.generate_checksum())
    reproducible = (pe.FILE_HEADER.TimeDateStamp, stamps, fixed and (fixed.FileDateMS, fixed.FileDateLS), debug, leaks,
                    hex(header.CheckSum))
    checks = [
        ('at most 32 KiB', len(data) <= 32768, len(data)),
        ('32-bit x86 image (PE32, machine 0x14C)', (header.Magic, pe.FILE_HEADER.Machine) == (0x10B, 0x14C),
         (hex(header.Magic), hex(pe.FILE_HEADER.Machine))),
        ('GUI subsystem', header.Subsystem == 2, header.Subsystem),
        ('terminal-server aware', header.DllCharacteristics & 0x8000, hex(header.DllCharacteristics)),
        ('subsystem version 4.0', (header.MajorSubsystemVersion, header.MinorSubsystemVersion) == (4, 0),
         (header.MajorSubsystemVersion, header.MinorSubsystemVersion)),
        ('imports system libraries only', dlls and dlls <= ALLOWED_DLLS, sorted(dlls - ALLOWED_DLLS) or 'none'),
        ('no relocations (no .reloc section, no relocation directory, flagged stripped)',
         not any(s.Name.rstrip(b'\0') == b'.reloc' for s in pe.sections)
         and directory[pefile.DIRECTORY_ENTRY['IMAGE_DIRECTORY_ENTRY_BASERELOC']].Size == 0
         and pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS['IMAGE_FILE_RELOCS_STRIPPED'],
         [s.Name for s in pe.sections]),
        ('no manifest', RT_MANIFEST not in found, sorted(found.get(RT_MANIFEST, {}))),
        ('icon group 103', list(groups) == [103], sorted(groups)),
        ('four icon images: 16 and 32 pixels in 16 and 256 colours', images == FOUR_ICONS, images and sorted(images)),
        ('one version record', len(found.get(RT_VERSION, {})) == 1 and fixed, sorted(found.get(RT_VERSION, {}))),
        ('fixed file info: signature, file and product version 6.0.159.1, flags mask 0x3F, flags 0, OS 0x40004, '
         'application', fixed and (fixed.Signature, fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
                                   fixed.ProductVersionLS, fixed.FileFlagsMask, fixed.FileFlags, fixed.FileOS,
                                   fixed.FileType, fixed.FileSubtype)
         == (0xFEEF04BD, *VERSION_6_0_159_1, *VERSION_6_0_159_1, 0x3F, 0, 0x40004, 1, 0), fixed),
        ('one string table in code page 1200, with the version strings',
         len(tables) == 1 and tables[0][0].endswith('04b0') and tables[0][1] == VERSION_STRINGS, tables),
        # Two builds of the same sources are the same bytes: no time (link, resources, version record), no debug
        # directory (which would name the build), no build folder, and the header checksum is the file's own.
        ('reproducible: no time stamp, no debug directory, no build path, its own header checksum',
         reproducible == (0, [0] * len(stamps), fixed and (0, 0), 0, [], checksum), (reproducible, checksum)),
    ]
    failed = 0
    for what, ok, seen in checks:
        print('%s: %s%s' % ('ok' if ok else 'FAILED', what, '' if ok else ' (saw %s)' % (seen,)))
        failed += not ok
    print('%d passed, %d failed' % (len(checks) - failed, failed))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1], sys.argv[2:]))
