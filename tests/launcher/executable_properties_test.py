#!/usr/bin/env python3
"""Reads Kestrune.exe back from disk and checks its header, imports and resources.

usage: executable_properties_test.py KESTRUNE_EXE MANIFEST_SOURCE
"""
import struct
import sys
import xml.etree.ElementTree as ET

import pefile

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
ENGLISH_US = 1033


def expect(condition, message):
    if not condition:
        raise AssertionError(message)


def check_manifest(data, source):
    expect(data == source, "the manifest resource differs from its source")
    expect(data.startswith(b"\xef\xbb\xbf"), "the manifest has no UTF-8 byte-order mark")
    root = ET.fromstring(data[3:])
    v1, v3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
    expect(root.tag == v1 + "assembly" and root.get("manifestVersion") == "1.0", "assembly element")
    identity = root.find(v1 + "assemblyIdentity")
    expect(identity.get("name") == "Game.app" and identity.get("version") == "1.0.0.0", "assembly identity")
    dep = root.find(f"{v1}dependency/{v1}dependentAssembly/{v1}assemblyIdentity")
    expect(dict(dep.attrib) == {"type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
                                "processorArchitecture": "*", "publicKeyToken": "6595b64144ccf1df", "language": "*"},
           f"common controls dependency: {dep.attrib}")
    level = root.find(f"{v3}trustInfo/{v3}security/{v3}requestedPrivileges/{v3}requestedExecutionLevel")
    expect(dict(level.attrib) == {"level": "asInvoker", "uiAccess": "false"}, f"execution level: {level.attrib}")
    dpi = root.find(f"{v3}application/{v3}windowsSettings/{{http://schemas.microsoft.com/SMI/2005/WindowsSettings}}dpiAware")
    expect(dpi is not None and dpi.text == "True/PM", "dpiAware")
    compat = "{urn:schemas-microsoft-com:compatibility.v1}"
    ids = [e.get("Id") for e in root.find(f"{compat}compatibility/{compat}application")]
    expect(ids == ["{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                   "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                   "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"], f"supported systems: {ids}")


def check_icons(resources):
    groups = [(ident, lang, data) for kind, ident, lang, data in resources if kind == RT_GROUP_ICON]
    expect([(g[0], g[1]) for g in groups] == [(101, ENGLISH_US), (102, ENGLISH_US)], f"icon groups: {groups}")
    images = {ident: data for kind, ident, lang, data in resources if kind == RT_ICON and lang == ENGLISH_US}
    expected = {101: [(256, 32)],
                102: [(48, 4), (32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (128, 32), (48, 32), (32, 32), (16, 32)]}
    total = 0
    for ident, _, data in groups:
        _, kind, count = struct.unpack_from("<HHH", data, 0)
        found = []
        for i in range(count):
            width, height, _, _, _, bits, size, image = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
            width, height = width or 256, height or 256
            expect(width == height, "icons are square")
            found.append((width, bits))
            picture = images[image]
            expect(len(picture) == size, "group entry size matches its image")
            if width == 256:
                expect(picture.startswith(b"\x89PNG\r\n\x1a\n"), "the 256x256 image is stored as PNG")
                expect(struct.unpack_from(">II", picture, 16) == (256, 256), "PNG size")
            else:
                header = struct.unpack_from("<IiiHH", picture, 0)
                expect(header == (40, width, 2 * width, 1, bits), f"bitmap header {header} for {width}x{bits}")
        expect(found == expected[ident], f"group {ident}: {found}")
        total += count
    expect(total == 11 and len(images) == 11, f"{len(images)} icon images")


def imports_of(pe):
    """{library name in lower case: [function name, or #ordinal]}"""
    return {entry.dll.decode().lower(): [f.name.decode() if f.name else f"#{f.ordinal}" for f in entry.imports]
            for entry in pe.DIRECTORY_ENTRY_IMPORT}


def resources_of(pe):
    """[(type, id, language, bytes)] in directory order."""
    out = []
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for ident in kind.directory.entries:
            for language in ident.directory.entries:
                data = language.data.struct
                out.append((kind.id, ident.id, language.id, pe.get_data(data.OffsetToData, data.Size)))
    return out


def main():
    exe, manifest_source = sys.argv[1], sys.argv[2]
    pe = pefile.PE(exe)
    header = pe.OPTIONAL_HEADER
    expect(pe.FILE_HEADER.Machine == 0x8664 and header.Magic == 0x20B, "not an x86-64 PE32+ image")
    expect(header.Subsystem == 2, "subsystem is not Windows GUI")
    expect((header.MajorSubsystemVersion, header.MinorSubsystemVersion) == (6, 0), "subsystem version is not 6.0")
    expect(header.DllCharacteristics == 0x8160, f"DllCharacteristics {header.DllCharacteristics:#x}")
    expect((header.SizeOfStackReserve, header.SizeOfStackCommit) == (1 << 20, 4096), "stack reserve/commit")

    imports = imports_of(pe)
    # msvcrt.dll is the mingw C run time's own system DLL; everything else is as designed.
    expect(set(imports) == {"kernel32.dll", "user32.dll", "advapi32.dll", "skarnet_pc3.dll", "msvcrt.dll"},
           f"imported libraries: {sorted(imports)}")
    expect(imports["user32.dll"] == ["MessageBoxA"], f"user32 imports: {imports['user32.dll']}")
    expect(len(imports["skarnet_pc3.dll"]) == 1 and "MyCrashHandler" in imports["skarnet_pc3.dll"][0]
           and "getInstance" in imports["skarnet_pc3.dll"][0], f"crash library imports: {imports['skarnet_pc3.dll']}")

    resources = resources_of(pe)
    kinds = {r[0] for r in resources}
    expect(RT_VERSION not in kinds, "the executable has a version resource")
    manifests = [r for r in resources if r[0] == RT_MANIFEST]
    expect([(m[1], m[2]) for m in manifests] == [(1, ENGLISH_US)], "one manifest, id 1, language 1033")
    check_manifest(manifests[0][3], open(manifest_source, "rb").read())
    check_icons(resources)
    print("executable properties: ok")


if __name__ == "__main__":
    main()
