"""Clears the two compile times that chmcmd writes into a .chm file, so that two builds of the
same guide give the same bytes: the ITSF header's time stamp and the #SYSTEM timestamp record
(code 10). Both are informational; help viewers do not read them.

    chm-fixed-times.py FILE.chm
"""
import struct
import sys


def encint(data, at):
    value = 0
    while True:
        byte = data[at]
        at += 1
        value = (value << 7) | (byte & 0x7F)
        if byte < 0x80:
            return value, at


def system_offset(data):
    """Offset of the /#SYSTEM file's contents (it lies in the uncompressed section 0)."""
    directory, = struct.unpack_from("<Q", data, 0x48)
    content, = struct.unpack_from("<Q", data, 0x58)
    if data[directory:directory + 4] != b"ITSP":
        raise ValueError("no ITSP directory header")
    header_size, = struct.unpack_from("<I", data, directory + 8)
    chunk_size, = struct.unpack_from("<I", data, directory + 0x10)
    chunks, = struct.unpack_from("<I", data, directory + 0x2C)
    for index in range(chunks):
        chunk = directory + header_size + index * chunk_size
        if data[chunk:chunk + 4] != b"PMGL":
            continue
        free, = struct.unpack_from("<I", data, chunk + 4)
        at, end = chunk + 0x14, chunk + chunk_size - free
        while at < end:
            length, at = encint(data, at)
            name = bytes(data[at:at + length])
            at += length
            section, at = encint(data, at)
            offset, at = encint(data, at)
            _, at = encint(data, at)
            if name == b"/#SYSTEM" and section == 0:
                return content + offset
    raise ValueError("no /#SYSTEM file")


def main(path):
    with open(path, "rb") as file:
        data = bytearray(file.read())
    if data[0:4] != b"ITSF" or struct.unpack_from("<I", data, 4)[0] != 3:
        raise ValueError("not a version 3 ITSF file")
    data[0x10:0x14] = bytes(4)
    at = system_offset(data) + 4  # after the #SYSTEM version
    while at + 4 <= len(data):
        code, length = struct.unpack_from("<HH", data, at)
        if code == 10:
            data[at + 4:at + 4 + length] = bytes(length)
            break
        if code > 16:
            raise ValueError("no timestamp record in #SYSTEM")
        at += 4 + length
    with open(path, "wb") as file:
        file.write(data)


if __name__ == "__main__":
    try:
        main(sys.argv[1])
    except (OSError, ValueError, struct.error, IndexError) as error:
        sys.exit("chm-fixed-times: %s: %s" % (sys.argv[1], error))
