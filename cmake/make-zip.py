"""Writes a zip archive whose bytes depend only on the names and contents of its files: entries
in name order, each at the archive's one fixed time, without owner, permissions or the extra
time fields, compressed at a fixed level. (cmake -E tar stores each file's access and change
times, which no option fixes.)

    make-zip.py ARCHIVE.zip FILE...
"""
import os
import sys
import zipfile

FIXED_TIME = (2026, 1, 1, 0, 0, 0)


def main(archive_path, paths):
    partial = archive_path + ".part"
    with zipfile.ZipFile(partial, "w") as archive:
        for path in sorted(paths, key=os.path.basename):
            entry = zipfile.ZipInfo(os.path.basename(path), date_time=FIXED_TIME)
            entry.create_system = 0  # MS-DOS: no Unix permission bits
            entry.external_attr = 0
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)
    os.replace(partial, archive_path)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit("usage: make-zip.py ARCHIVE.zip FILE...")
    try:
        main(sys.argv[1], sys.argv[2:])
    except OSError as error:
        sys.exit("make-zip: %s" % error)
