#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "temp_dir.h"
#include "udp_client.h"

namespace vexa::testing {

// Binds UDP port `port` on all addresses for as long as it lives, as another program would
// hold it; `held()` says whether the bind succeeded.
class UdpPortHolder {
 public:
  explicit UdpPortHolder(uint16_t port) : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    held_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~UdpPortHolder() { ::close(fd_); }
  UdpPortHolder(const UdpPortHolder&) = delete;
  UdpPortHolder& operator=(const UdpPortHolder&) = delete;

  bool held() const { return held_; }

 private:
  int fd_;
  bool held_ = false;
};

// True when UDP port `port` on all addresses can be bound now.
inline bool udpPortFree(uint16_t port) {
  return UdpPortHolder(port).held();
}

// The first of `count` UDP ports in a row, all free now, within `first` to `last` (both
// included); 0 when there is no such run.
inline uint16_t freeUdpPortRun(uint16_t first, uint16_t last, int count) {
  for (int base = first; base + count - 1 <= last; ++base) {
    bool free = true;
    for (int i = 0; i < count && free; ++i) free = udpPortFree(static_cast<uint16_t>(base + i));
    if (free) return static_cast<uint16_t>(base);
  }
  return 0;
}

// For a test's set-up: every port of `ports` free, or a failure naming the one in use.
inline ::testing::AssertionResult udpPortsFree(std::initializer_list<uint16_t> ports) {
  for (uint16_t port : ports) {
    if (!udpPortFree(port)) {
      return ::testing::AssertionFailure() << "UDP port " << port
                                           << " is in use by another program; the end-to-end "
                                              "tests need it free.";
    }
  }
  return ::testing::AssertionSuccess();
}

// The real simulator, copied into a directory of its own so that directory is its AppDir, and
// run there as a child process with its output captured.
class SimProcess {
 public:
  explicit SimProcess(const TempDir& dir, const std::string& executable = VEXA_SIM_PATH)
      : dir_(dir) {
    // Input to a program that has ended must fail the test, not kill the test program.
    ::signal(SIGPIPE, SIG_IGN);
    const std::string copy = dir.file("vexa-sim");
    if (!fileExists(copy)) {
      std::filesystem::copy_file(executable, copy);
      std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    }
  }
  ~SimProcess() {
    closeInput();
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  // Starts the program with `arguments`; stdout and stderr go to files in the directory. With
  // `pipeInput`, standard input is a pipe that `input` writes to; else /dev/null.
  void start(const std::vector<std::string>& arguments,
             const std::vector<std::string>& environment = {}, bool pipeInput = false) {
    const std::string program = dir_.file("vexa-sim");
    int fds[2] = {-1, -1};
    if (pipeInput && ::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      const int out = ::open(dir_.file("stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = ::open(dir_.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out, 1);
      ::dup2(err, 2);
      if (pipeInput) {
        ::dup2(fds[0], 0);
        ::close(fds[1]);
      } else {
        ::dup2(::open(inputFile_.empty() ? "/dev/null" : inputFile_.c_str(), O_RDONLY), 0);
      }
      if (brokenPipeOn >= 0) {
        // A pipe whose reader has already gone: a write to it raises SIGPIPE.
        int broken[2];
        if (::pipe(broken) == 0) {
          ::close(broken[0]);
          ::dup2(broken[1], brokenPipeOn);
          ::close(broken[1]);
        }
      }
      if (closedFd >= 0) ::close(closedFd);
      ::signal(SIGPIPE, SIG_DFL);  // as a shell would start it, not as this test ignores it
      ::setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
      for (const std::string& e : environment) ::putenv(const_cast<char*>(e.c_str()));
      if (runAsUid > 0 && (::setgid(runAsUid) != 0 || ::setuid(runAsUid) != 0)) ::_exit(126);
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    if (pipeInput) {
      ::close(fds[0]);
      input_ = fds[1];
    }
  }

  // Standard input for the next `start` without `pipeInput` (default /dev/null).
  void setInputFile(const std::string& path) { inputFile_ = path; }

  // Writes to the program's standard input; `closeInput` ends it.
  void input(const std::string& text) const {
    [[maybe_unused]] const ssize_t n = ::write(input_, text.data(), text.size());
  }
  void closeInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
  }

  // Waits until standard output, or standard error, holds `text`. The default bounds of the
  // waits here only catch a hang; a test that expects nothing passes a short one.
  bool waitForOutput(const std::string& text, int timeoutMs = 30000) const {
    return waitForText(&SimProcess::standardOutput, text, timeoutMs);
  }
  bool waitForError(const std::string& text, int timeoutMs = 30000) const {
    return waitForText(&SimProcess::standardError, text, timeoutMs);
  }

  // Waits until the simulator answers on `port` (true), or it exited or time ran out.
  bool waitUntilAnswering(uint16_t port = 5010, int timeoutMs = 30000) {
    UdpClient client;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (exited()) return false;
      if (client.request(port, "\n", 100)) return true;
    }
    return false;
  }

  void signal(int number) const { ::kill(pid_, number); }

  // The exit code once the process has ended within `timeoutMs`, else nothing.
  std::optional<int> waitForExit(int timeoutMs = 30000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (exited()) return exitCode_;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
  }

  // Resident memory in KiB and open descriptors of the running program (-1 once it has ended).
  long residentKb() const { return statusKb("VmRSS:"); }
  // The most it has been resident so far, in KiB.
  long peakResidentKb() const { return statusKb("VmHWM:"); }
  long openDescriptors() const {
    std::error_code error;
    long n = 0;
    for (auto it =
             std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
      ++n;
    }
    return error ? -1 : n;
  }

  // Set before `start`: the descriptor (1 or 2) that is a pipe with no reader, one that is
  // closed, and a user id to run as (when the test runs as root).
  int brokenPipeOn = -1;
  int closedFd = -1;
  uid_t runAsUid = 0;

  std::string standardError() const { return readFile(dir_.file("stderr.txt")); }
  std::string standardOutput() const { return readFile(dir_.file("stdout.txt")); }
  pid_t pid() const { return pid_; }

  // The HTTP port the program announced on standard error, waiting up to `timeoutMs` for it;
  // nothing when it never came.
  std::optional<uint16_t> announcedApiPort(int timeoutMs = 30000) const {
    static const std::regex announced("API on http://127\\.0\\.0\\.1:([0-9]+)/");
    // The window may answer on UDP before its API says where it listens.
    waitForError("API on http://", timeoutMs);
    std::smatch m;
    const std::string err = standardError();
    if (!std::regex_search(err, m, announced)) return std::nullopt;
    return static_cast<uint16_t>(std::stoi(m[1]));
  }

 private:
  bool waitForText(std::string (SimProcess::*read)() const, const std::string& text,
                   int timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if ((this->*read)().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  bool exited() {
    if (pid_ <= 0) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    return true;
  }

  long statusKb(const std::string& key) const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    }
    return -1;
  }

  const TempDir& dir_;
  pid_t pid_ = -1;
  int exitCode_ = -1;
  int input_ = -1;
  std::string inputFile_;
};

struct CommandResult {
  int exitCode;
  std::string output;  // standard output and standard error together
};

// Runs a shell command and collects its output.
inline CommandResult runCommand(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  std::string output;
  char buffer[4096];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

}  // namespace vexa::testing
