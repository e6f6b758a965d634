// "history.log" in UpdaterDataDirectory: an operator's record of what the
// updater did on this machine, one line per event, beside the status. It
// never decides anything and no failure ends in it: a failure's message is
// still reported where it ends, and the history only keeps a copy of it.
#pragma once

#include <cstdint>
#include <string_view>

namespace ostrel {

// The process that writes a line, by its role.
enum class HistoryRole { Service, Worker, Install, Uninstall, PrepareInstall };

// Past this many bytes the history starts again, its current file kept as
// "history.old.log" in place of the older one.
inline constexpr std::uint64_t HistoryLimit = 1024 * 1024;

// Appends one line to the history, "\r\n"-terminated:
//   <UTC time, ISO 8601 to the millisecond> <role> <process id> <event>[: <failure>]
// e.g. "2026-12-11T08:55:58.123Z service 4312 Service ended: Connect update
// server (12029)". Control characters of the event and the failure become
// blanks, so each event stays one line. When the line would take the file
// past HistoryLimit, "history.log" first replaces "history.old.log" and a
// new one is started; a line that cannot be kept within the limit is
// dropped. The file is opened through OpenProtectedFile and shared for
// reading, writing and deletion, as its readers ask. It never fails and
// never waits longer than that open does: whatever goes wrong, the line is
// lost and the caller goes on.
void RecordHistory(HistoryRole role, std::string_view event, std::string_view failure = {}) noexcept;

}  // namespace ostrel
