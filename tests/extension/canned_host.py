"""A native messaging host that answers every request with the bytes of the
file it is given, and appends each request's action to a log: the updater's
states that pass too quickly to catch in a real update, and replies the
updater never sends, as the popup meets them.

  canned_host.py REPLY_FILE LOG_FILE [ARGUMENT...]   (the browser appends the origin)"""

import json
import struct
import sys

(length,) = struct.unpack("<I", sys.stdin.buffer.read(4))
request = json.loads(sys.stdin.buffer.read(length))
with open(sys.argv[2], "a") as log:
    log.write(f"{request.get('action')}\n")
with open(sys.argv[1], "rb") as reply:
    body = reply.read()
sys.stdout.buffer.write(struct.pack("<I", len(body)) + body)
