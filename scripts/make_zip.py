#!/usr/bin/env python3
"""Writes a zip of a folder that is the same, byte for byte, whenever the folder holds the
same files: names sorted, one fixed time, fixed permissions, no extra fields.

    make_zip.py FOLDER ZIP

Entries are named FOLDER's own name followed by the path inside it. The time is
SOURCE_DATE_EPOCH when set (as reproducible builds use it), else 2026-01-01 00:00.
"""
import os
import sys
import time
import zipfile


def main():
    folder, target = sys.argv[1], sys.argv[2]
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "1767225600"))
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip times start in 1980
    top = os.path.basename(os.path.normpath(folder))
    paths = []
    for here, dirs, files in os.walk(folder):
        dirs.sort()
        for name in files:
            paths.append(os.path.relpath(os.path.join(here, name), folder))
    paths.sort(key=lambda p: p.replace(os.sep, "/"))
    partial = target + ".partial"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for path in paths:
            info = zipfile.ZipInfo(top + "/" + path.replace(os.sep, "/"), stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            info.create_system = 0  # MS-DOS: Windows' Explorer shows no Unix modes
            with open(os.path.join(folder, path), "rb") as source:
                archive.writestr(info, source.read())
    os.replace(partial, target)


if __name__ == "__main__":
    main()
