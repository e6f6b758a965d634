// The native messaging host of the browser's companion extension: one framed
// JSON request and one reply per run, over standard input and output.
#pragma once

namespace ostrel {

// Returns the process exit code: 0 once a reply has been written.
int RunNativeMessagingHost();

}  // namespace ostrel
