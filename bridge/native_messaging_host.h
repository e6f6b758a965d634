// The native messaging host of the browser's companion extension: one framed
// JSON request and one reply per run, over standard input and output.
//
// A frame, the same in both directions, is a 4-byte little-endian length and
// that many bytes of UTF-8 JSON. The request must be an object of exactly one
// member, "action", a string, at most MaxNativeRequestSize bytes long.
#pragma once

#include <cstdint>

namespace ostrel {

inline constexpr std::uint32_t MaxNativeRequestSize = 4096;

// Reads one request frame from standard input, never more than it announces,
// passes its action to RunControlAction and writes the object it returns as
// the reply frame. A failure on the way becomes the reply {"ok":false,
// "error":...}: the message of a standard failure, "Invalid native update
// request" for any other (a JSON-layer failure). Nothing goes to standard
// error for those.
//
// Returns 0 when the reply frame was written whole, 1 when a write failed or
// fell short (the body is not written after a short length). Only a failure
// to build or serialise the reply is raised.
int RunNativeMessagingHost();

}  // namespace ostrel
