#include "state/update_history.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "foundation/path_join.h"
#include "locations/updater_locations.h"
#include "os/file.h"
#include "os/file_system.h"
#include "os/process.h"
#include "os/tick_count.h"
#include "security/protected_file.h"

namespace ostrel {
namespace {

constexpr std::string_view RoleNames[] = {"service", "worker", "install", "uninstall", "prepare-install"};

// 100-nanosecond units from 1601 to 1970, the start of the system clock.
constexpr std::uint64_t UnixEpochFileTime = 116'444'736'000'000'000;

std::string UtcTimeText(std::uint64_t fileTime) {
  using namespace std::chrono;
  const milliseconds sinceEpoch{(fileTime - UnixEpochFileTime) / 10'000};
  const sys_days day = floor<days>(sys_time<milliseconds>(sinceEpoch));
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> time{sinceEpoch - day.time_since_epoch()};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ld.%03ldZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
                static_cast<long>(time.seconds().count()), static_cast<long>(time.subseconds().count()));
  return text;
}

void AppendOneLine(std::string& line, std::string_view text) {
  for (char unit : text) line += static_cast<unsigned char>(unit) < 0x20 || unit == 0x7F ? ' ' : unit;
}

std::string HistoryLine(HistoryRole role, std::string_view event, std::string_view failure) {
  std::string line = UtcTimeText(os::GetSystemTimeAsFileTime());
  line += ' ';
  line += RoleNames[static_cast<int>(role)];
  line += ' ';
  line += std::to_string(os::GetCurrentProcessId());
  line += ' ';
  AppendOneLine(line, event);
  if (!failure.empty()) {
    line += ": ";
    AppendOneLine(line, failure);
  }
  line += "\r\n";
  return line;
}

// Readers of the history never keep a writer out, nor its rotation.
os::Handle OpenHistory(std::u16string_view path) {
  return OpenProtectedFile(path, os::FileShareRead | os::FileShareWrite | os::FileShareDelete,
                           os::FileAttributeNormal, "Open update history");
}

std::uint64_t SizeOf(const os::Handle& file) {
  std::uint64_t size = 0;
  if (os::GetFileSizeEx(file, size)) throw std::runtime_error("Read update history size");
  return size;
}

void Append(std::string_view line) {
  const std::u16string path = JoinPath(UpdaterDataDirectory(), HistoryName);
  os::Handle history = OpenHistory(path);
  std::uint64_t size = SizeOf(history);
  if (size + line.size() > HistoryLimit) {
    history = os::Handle();
    if (os::MoveFileEx(path, JoinPath(UpdaterDataDirectory(), OlderHistoryName), os::MovefileReplaceExisting)) {
      return;
    }
    history = OpenHistory(path);
    size = SizeOf(history);
    if (size + line.size() > HistoryLimit) return;
  }
  std::uint32_t written = 0;
  if (os::SetFilePointerEx(history, size)) return;
  (void)os::WriteFile(history, line, written);
}

}  // namespace

void RecordHistory(HistoryRole role, std::string_view event, std::string_view failure) noexcept {
  try {
    Append(HistoryLine(role, event, failure));
  } catch (...) {
    // The history is a record beside the update, never a reason to stop it.
  }
}

}  // namespace ostrel
