#!/usr/bin/env python3
"""Reads the resources out of a built Windows program (PE file) and checks what Wine would not
show missing: the manifest (RT_MANIFEST 1) asks for common controls 6, per-monitor DPI awareness,
names the supported Windows versions and runs as the invoker; the icons hold an image for the
small and large icon sizes of the usual display scalings. Runs on Linux, no Wine needed.

  manifest_check.py PROGRAM.exe

Prints "done" as its last line when every check passed.
"""
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24
ICONS = {128: "main window", 129: "tray"}
# 100 %, 125 %, 150 %, 200 %: small icons 16, 20, 24, 32; large 32, 40, 48, 64.
ICON_SIZES = {16, 20, 24, 32, 40, 48, 64}
COMMON_CONTROLS = ("Microsoft.Windows.Common-Controls", "6.0.0.0", "6595b64144ccf1df")
WINDOWS_10 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL " + message, flush=True)
    return condition


class PeResources:
    """The resource tree of a PE32 or PE32+ file: {type: {name: bytes}} (first language)."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + {0x10B: 96, 0x20B: 112}[magic]
        self.root_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            size, rva, raw_size, raw = struct.unpack_from("<IIII", data, table + i * 40 + 8)
            self.sections.append((rva, max(size, raw_size), raw))
        self.root = self.offset(self.root_rva)

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} outside every section")

    def entries(self, directory):
        named, numbered = struct.unpack_from("<12xHH", self.data, directory)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, directory + 16 + i * 8)
            yield (None if name & 0x80000000 else name), target

    def tree(self):
        resources = {}
        for kind, names in self.entries(self.root):
            if kind is None or not names & 0x80000000:
                continue
            for name, languages in self.entries(self.root + (names & 0x7FFFFFFF)):
                if name is None:
                    continue
                _, leaf = next(self.entries(self.root + (languages & 0x7FFFFFFF)))
                rva, size = struct.unpack_from("<II", self.data, self.root + leaf)
                start = self.offset(rva)
                resources.setdefault(kind, {})[name] = self.data[start:start + size]
        return resources


def local(tag):
    return tag.rsplit("}", 1)[-1]


def check_manifest(text):
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        check(False, f"the manifest is not well-formed XML ({error}): Windows refuses to start "
              "the program")
        return
    everything = list(root.iter())
    identities = [e.attrib for e in everything if local(e.tag) == "assemblyIdentity"]
    check(any((i.get("name"), i.get("version"), i.get("publicKeyToken")) == COMMON_CONTROLS
              for i in identities), "no dependency on common controls 6 (SysLink, themes)")
    text_of = {}
    for element in everything:
        text_of.setdefault(local(element.tag), (element.text or "").strip())
    awareness = [v.strip().lower() for v in text_of.get("dpiAwareness", "").split(",")]
    check(awareness[:1] == ["permonitorv2"],
          f"dpiAwareness is {text_of.get('dpiAwareness')!r}, not PerMonitorV2 first")
    check(text_of.get("dpiAware", "").lower() in ("true/pm", "per monitor"),
          f"dpiAware is {text_of.get('dpiAware')!r}, not per monitor (Windows 8.1)")
    supported = {e.attrib.get("Id", "").lower() for e in everything
                 if local(e.tag) == "supportedOS"}
    check(WINDOWS_10 in supported, "no supportedOS entry for Windows 10 and 11")
    levels = [e.attrib for e in everything if local(e.tag) == "requestedExecutionLevel"]
    check(levels and levels[0].get("level") == "asInvoker" and
          levels[0].get("uiAccess") == "false", f"execution level {levels}, not asInvoker")


def check_icons(resources):
    images = resources.get(RT_ICON, {})
    for group_id, label in ICONS.items():
        group = resources.get(RT_GROUP_ICON, {}).get(group_id)
        if not check(group is not None, f"no icon group {group_id} ({label})"):
            continue
        count = struct.unpack_from("<4xH", group)[0]
        sizes = set()
        for i in range(count):
            width, height, _, _, _, bits, _, image = struct.unpack_from("<BBBBHHIH", group,
                                                                         6 + i * 14)
            check(image in images, f"icon {group_id}: image {image} missing")
            check(bits == 8, f"icon {group_id}: a {width} px image at {bits} bits per pixel")
            sizes.add(width or 256)
        check(ICON_SIZES <= sizes, f"icon {group_id} ({label}) has sizes {sorted(sizes)}, "
              f"lacks {sorted(ICON_SIZES - sizes)}")


def main():
    with open(sys.argv[1], "rb") as program:
        resources = PeResources(program.read()).tree()
    manifest = resources.get(RT_MANIFEST, {}).get(1)
    if check(manifest is not None, "no manifest resource (RT_MANIFEST, id 1)"):
        check_manifest(manifest)
    check_icons(resources)
    if failures:
        sys.exit(1)
    print("done", flush=True)


if __name__ == "__main__":
    main()
