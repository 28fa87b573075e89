#!/usr/bin/env python3
"""Copies a PNG file without its chunks of the given types.

    png-without-chunks.py IN OUT TYPE...

Every other chunk, the image data included, is copied byte for byte, so the
copy decodes to the same pixels. Used to leave out a colour profile (iCCP)
that libpng warns about on every read. OUT is written whole or not at all.
"""
import os
import struct
import sys
import tempfile

SIGNATURE = b"\x89PNG\r\n\x1a\n"


def chunks(data, name):
    """Yields (type, bytes of the whole chunk) for each chunk after the signature."""
    pos = len(SIGNATURE)
    while pos < len(data):
        if pos + 12 > len(data):
            sys.exit(f"{name}: truncated chunk at byte {pos}")
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        end = pos + 12 + length
        if end > len(data):
            sys.exit(f"{name}: truncated chunk at byte {pos}")
        yield data[pos + 4:pos + 8].decode("latin-1"), data[pos:end]
        pos = end


def main():
    if len(sys.argv) < 4:
        sys.exit("usage: png-without-chunks.py IN OUT TYPE...")
    source, target, dropped = sys.argv[1], sys.argv[2], set(sys.argv[3:])
    with open(source, "rb") as f:
        data = f.read()
    if not data.startswith(SIGNATURE):
        sys.exit(f"{source}: not a PNG file")
    kept = [whole for kind, whole in chunks(data, source) if kind not in dropped]
    folder = os.path.dirname(os.path.abspath(target))
    fd, temporary = tempfile.mkstemp(dir=folder, prefix=".png-without-chunks.")
    try:
        with os.fdopen(fd, "wb") as out:
            out.write(SIGNATURE)
            out.writelines(kept)
        os.chmod(temporary, 0o644)
        os.replace(temporary, target)
    except BaseException:
        os.unlink(temporary)
        raise


if __name__ == "__main__":
    main()
