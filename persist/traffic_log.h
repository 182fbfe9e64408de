#pragma once

#include <ctime>
#include <functional>
#include <string>

#include "panel_texts.h"

namespace vexa {

// The weekly traffic log: "VXS_" + calendar year + two-digit ISO week + ".log" in LogDir, one
// entry "dd/mm/yyyy hh:nn:ss - " + text + CR LF per call. The file is opened and closed for
// every entry, without ever blocking: a name that is not a regular file (a FIFO, a device)
// loses the entry, as every other failure does, silently. One caller at a time.
class TrafficLog final : public TrafficLogSink {
 public:
  using LocalTime = std::function<std::tm()>;
  explicit TrafficLog(std::string logDir, LocalTime now = localNow);

  void WriteLog(std::string_view text) override;

  // The file name for a local date ("VXS_202650.log").
  static std::string LogFileName(const std::tm& date);
  static std::tm localNow();

 private:
  std::string logDir_;
  LocalTime now_;
  std::string entry_;  // reused, so an entry costs no allocation once it has grown
};

}  // namespace vexa
