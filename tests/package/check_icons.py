#!/usr/bin/env python3
"""Checks the committed icon file against its drawing and the Windows resource built from it.

  check_icons.py drawing MAKE_ICON_PY ICO
      the .ico is what the drawing renders today, so the window icon and the rendered
      desktop PNGs show the same picture
  check_icons.py winres RC ICO LLVM_RC
      the .rc compiles to one icon group "IDI_ICON1", English (United States), holding the
      .ico's 32x32 32-bit image unchanged

Exits 77 (skipped) when the resource compiler is not available.
"""
import os
import struct
import subprocess
import sys
import tempfile

SKIPPED = 77
RT_ICON, RT_GROUP_ICON = 3, 14
LANG_EN_US = 0x0409


def ico_image(path):
    """The single image of an .ico file, checked to be a 32x32 32-bit bitmap, not a PNG."""
    data = open(path, "rb").read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if (reserved, kind, count) != (0, 1, 1):
        sys.exit(f"{path}: not an icon file with one image (header {reserved}, {kind}, {count})")
    width, height, _, _, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6)
    if (width, height, bits) != (32, 32, 32):
        sys.exit(f"{path}: image is {width}x{height}, {bits} bits; expected 32x32, 32 bits")
    image = data[offset:offset + size]
    if len(image) != size or offset + size != len(data):
        sys.exit(f"{path}: directory says {size} bytes at {offset}, the file has {len(data)}")
    header_size, bmp_width, bmp_height = struct.unpack_from("<Iii", image, 0)
    if (header_size, bmp_width, bmp_height) != (40, 32, 64):
        sys.exit(f"{path}: image is not a 32x32 device-independent bitmap")
    return image


def resources(path):
    """(type, name, language, data) for each entry of a compiled .res file."""
    data = open(path, "rb").read()
    out, pos = [], 0

    def ident(at):
        """A numeric id (0xFFFF, n) or a zero-terminated UTF-16 name; returns it and the end."""
        if struct.unpack_from("<H", data, at)[0] == 0xFFFF:
            return struct.unpack_from("<H", data, at + 2)[0], at + 4
        end = at
        while struct.unpack_from("<H", data, end)[0]:
            end += 2
        return data[at:end].decode("utf-16-le"), end + 2

    while pos < len(data):
        size, header_size = struct.unpack_from("<II", data, pos)
        kind, at = ident(pos + 8)
        name, at = ident(at)
        at = (at + 3) & ~3
        language = struct.unpack_from("<H", data, at + 6)[0]
        start = pos + header_size
        out.append((kind, name, language, data[start:start + size]))
        pos = (start + size + 3) & ~3
    return out


def check_drawing(make_icon, ico):
    with tempfile.TemporaryDirectory() as tmp:
        fresh = os.path.join(tmp, "main.ico")
        subprocess.run([sys.executable, make_icon, "ico", fresh], check=True)
        if open(fresh, "rb").read() != open(ico, "rb").read():
            sys.exit(f"{ico} differs from what {make_icon} draws: regenerate it with "
                     f"'python3 {make_icon}' so the window icon matches the desktop icons")
    print(f"ok: {ico} is the drawing's 32x32 rendering")


def check_winres(rc, ico, llvm_rc):
    if not llvm_rc or llvm_rc.endswith("NOTFOUND"):
        print("SKIP: llvm-rc is missing (package llvm); the Windows resource was not compiled")
        sys.exit(SKIPPED)
    image = ico_image(ico)
    with tempfile.TemporaryDirectory() as tmp:
        res = os.path.join(tmp, "main.res")
        # rc takes a leading "/" as an option switch ("/check/..." reads as /C, the
        # code page), so the script is named relative to its own folder.
        subprocess.run([llvm_rc, "-FO", res, os.path.basename(rc)],
                       cwd=os.path.dirname(os.path.abspath(rc)), check=True)
        entries = resources(res)
    groups = [e for e in entries if e[0] == RT_GROUP_ICON]
    if [(name, language) for _, name, language, _ in groups] != [("IDI_ICON1", LANG_EN_US)]:
        sys.exit(f"{rc}: icon groups are {[(n, hex(l)) for _, n, l, _ in groups]}; "
                 "expected one named IDI_ICON1 in language 0x409")
    group = groups[0][3]
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    if (reserved, kind, count) != (0, 1, 1):
        sys.exit(f"{rc}: IDI_ICON1 holds {count} images; expected 1")
    width, height, _, _, _, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6)
    if (width, height, bits, size) != (32, 32, 32, len(image)):
        sys.exit(f"{rc}: IDI_ICON1's image is {width}x{height}, {bits} bits, {size} bytes")
    icons = [e for e in entries if e[0] == RT_ICON and e[1] == icon_id]
    if len(icons) != 1 or icons[0][2] != LANG_EN_US or icons[0][3] != image:
        sys.exit(f"{rc}: the icon image in the resource is not {ico}'s image in language 0x409")
    print(f"ok: {rc} compiles to IDI_ICON1 (language 0x409) holding {ico}'s 32x32 32-bit image")


def main(args):
    if len(args) == 3 and args[0] == "drawing":
        check_drawing(args[1], args[2])
    elif len(args) == 4 and args[0] == "winres":
        check_winres(args[1], args[2], args[3])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
