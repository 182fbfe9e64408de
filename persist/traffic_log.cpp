#include "traffic_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "pad_zeros.h"
#include "week_number.h"

namespace vexa {

TrafficLog::TrafficLog(std::string logDir, LocalTime now)
    : logDir_(std::move(logDir)), now_(std::move(now)) {}

std::tm TrafficLog::localNow() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

std::string TrafficLog::LogFileName(const std::tm& date) {
  using namespace std::chrono;
  const year_month_day ymd{year{date.tm_year + 1900}, month{static_cast<unsigned>(date.tm_mon + 1)},
                           day{static_cast<unsigned>(date.tm_mday)}};
  return "VXS_" + std::to_string(date.tm_year + 1900) + PadZeros(WeekOfYear(ymd).week, 2) + ".log";
}

void TrafficLog::WriteLog(std::string_view text) {
  const std::tm now = now_();
  const std::string path = logDir_ + LogFileName(now);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d %02d:%02d:%02d - ", now.tm_mday,
                now.tm_mon + 1, now.tm_year + 1900, now.tm_hour, now.tm_min, now.tm_sec);
  entry_.assign(stamp);
  entry_.append(text);
  entry_ += "\r\n";
  // Opened without blocking, so a FIFO in the file's place (with no reader: ENXIO) cannot hold
  // up the listener; anything but a regular file loses the entry.
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return;
  }
  // One write call per entry, so entries of two writers do not interleave within a line.
  [[maybe_unused]] const ssize_t written = ::write(fd, entry_.data(), entry_.size());
  ::close(fd);
}

}  // namespace vexa
