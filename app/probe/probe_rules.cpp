#include "probe_rules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "log_replay.h"
#include "reply_fields.h"

namespace vexa {

namespace {
bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    if (up(a[i]) != up(b[i])) return false;
  }
  return true;
}

// "dd/mm/yyyy hh:nn:ss - "
bool startsWithStamp(std::string_view text) {
  static constexpr std::string_view kShape = "00/00/0000 00:00:00 - ";
  if (text.size() < kShape.size()) return false;
  for (size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == '0' ? !digit : text[i] != kShape[i]) return false;
  }
  return true;
}
}  // namespace

ReplyVerdict judgeReply(std::string_view framed, int variantCode, std::string_view line,
                        DecodedReply& decoded) {
  auto d = variantCode ? decodeReply(framed, variantCode) : decodeAnyReply(framed);
  if (!d) return ReplyVerdict::Undecodable;
  const std::string& body = d->body;
  if (body.size() < 2 || body.compare(body.size() - 2, 2, "\r\n") != 0) {
    return ReplyVerdict::Undecodable;  // cut short
  }
  const std::string start = bodyStartOf(line);
  if (body.size() < start.size() + 2 ||
      !equalIgnoringCase(std::string_view(body).substr(0, start.size()), start)) {
    return ReplyVerdict::NotTheAnswer;
  }
  decoded = std::move(*d);
  return ReplyVerdict::Answer;
}

std::string watchedStatus(std::string_view body) {
  std::string status;
  for (const auto& [name, value] : replyFields(body)) {
    if (name == "token") continue;
    status += (status.empty() ? "" : " ") + name + "=" + value;
  }
  return status.empty() ? std::string(body) : status;
}

std::optional<std::string> readReplayLog(const std::string& path, std::string& error) {
  // O_NONBLOCK: opening a FIFO without a writer must not wait for one.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error = path + " is not a traffic log (not a regular file)";
    return std::nullopt;
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxReplayBytes) {
    ::close(fd);
    error = path + " is not a traffic log (larger than 64 MiB)";
    return std::nullopt;
  }
  std::string text;
  char buffer[65536];
  ssize_t n = 0;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() <= kMaxReplayBytes) {
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  if (n < 0 || text.size() > kMaxReplayBytes) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  if (!text.empty() && (!startsWithStamp(text) || text.find('\0') != std::string::npos)) {
    error = path + " is not a traffic log (no \"dd/mm/yyyy hh:nn:ss - \" entries)";
    return std::nullopt;
  }
  return text;
}

}  // namespace vexa
