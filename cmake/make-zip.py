"""Writes a zip archive whose bytes depend only on the names and contents of its files: every
file inside one top-level FOLDER (unzipping makes the folder of its own), entries in name order,
each at the archive's one fixed time with the ordinary mode 0644, without owner or the extra time
fields, compressed at a fixed level. (cmake -E tar stores each file's access and change times,
which no option fixes.)

    make-zip.py ARCHIVE.zip FOLDER FILE...
"""
import os
import sys
import zipfile

FIXED_TIME = (2026, 1, 1, 0, 0, 0)


FILE_MODE = 0o100644  # a regular file, rw-r--r--


def main(archive_path, folder, paths):
    partial = archive_path + ".part"
    with zipfile.ZipFile(partial, "w") as archive:
        for path in sorted(paths, key=os.path.basename):
            entry = zipfile.ZipInfo(folder + "/" + os.path.basename(path), date_time=FIXED_TIME)
            entry.create_system = 3  # Unix, so that unzip takes the mode
            entry.external_attr = FILE_MODE << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)
    os.replace(partial, archive_path)


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit("usage: make-zip.py ARCHIVE.zip FOLDER FILE...")
    try:
        main(sys.argv[1], sys.argv[2], sys.argv[3:])
    except OSError as error:
        sys.exit("make-zip: %s" % error)
