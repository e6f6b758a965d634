"""A native messaging host that answers every request with the document in
the file it is given: the updater's states that pass too quickly to catch in
a real update, and replies the updater never sends, as the popup meets them.

  canned_host.py REPLY_FILE [ARGUMENT...]   (the browser appends the origin)"""

import struct
import sys

(length,) = struct.unpack("<I", sys.stdin.buffer.read(4))
sys.stdin.buffer.read(length)
with open(sys.argv[1], "rb") as reply:
    body = reply.read()
sys.stdout.buffer.write(struct.pack("<I", len(body)) + body)
