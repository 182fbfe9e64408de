#include "fleet.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "endpoint_failure.h"
#include "text_format.h"
#include "udp_endpoint.h"
#include "unit_scenario.h"

namespace vexa {

namespace {

// Sends `bytes` to `to` from `fd`; false on any failure, or when only part went out.
bool sendFrom(int fd, const sockaddr_in& to, std::string_view bytes) {
  if (fd < 0) return false;
  const ssize_t n = ::sendto(fd, bytes.data(), bytes.size(), 0,
                             reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return n == static_cast<ssize_t>(bytes.size());
}

}  // namespace

// One unit with its socket; the socket is the unit's endpoint switch. The unit lives inside,
// one allocation less between a ready socket and the unit it serves.
struct Fleet::Member final : UnitEndpoint {
  Member(Fleet& f, UnitPlan p, UnitClock& clock)
      : fleet(f), unit(settingsOf(p, f.plan_.faultSeed), clock), plan(std::move(p)) {
    unit.setEndpoint(this);
  }
  static UnitSettings settingsOf(const UnitPlan& plan, uint32_t fleetFaultSeed) {
    UnitSettings s;
    s.number = plan.number;
    s.paths = StatePaths::forDirectory(plan.directory);
    s.LogEnabled = plan.log;
    s.startVariant = plan.variant;
    s.faults = plan.faults;
    s.faultSeed = fleetFaultSeed + static_cast<uint32_t>(plan.number) - 1;
    s.freshIdentity = plan.identity;
    s.maxRepliesPerDatagram = plan.maxRepliesPerDatagram;
    return s;
  }
  ~Member() override { setActive(false); }

  Status setActive(bool on) override {
    if (on == (fd >= 0)) return Status::Ok();
    if (!on) {
      fleet.loop_.remove(fd);
      ::close(fd);
      fd = -1;
      return Status::Ok();
    }
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) return Status::Error("Cannot allocate socket.");
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(plan.port);
    if (inet_pton(AF_INET, plan.address.c_str(), &a.sin_addr) != 1) {
      ::close(s);
      bindErrno = EINVAL;
      return bindFailure(EINVAL);
    }
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      bindErrno = errno;
      ::close(s);
      return bindFailure(bindErrno);
    }
    const int off = 0;
    ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &off, sizeof off);
    Status added = fleet.loop_.add(s, [this] { fleet.receive(*this); });
    if (!added.ok()) {
      ::close(s);
      return added;
    }
    fd = s;
    return Status::Ok();
  }
  bool active() const override { return fd >= 0; }

  // What a request touches first: the socket, then the unit, whose own hot part starts it.
  Fleet& fleet;
  int fd = -1;
  int bindErrno = 0;          // the platform's reason of the last failed bind
  uint64_t readyPass = 0;     // the loop's pass when the socket was last ready
  size_t delayedReplies = 0;  // replies waiting for their delay (loop thread only)
  Unit unit;
  const UnitPlan plan;
};

namespace {
// The replies of one datagram, to its sender, from the unit's socket; a delayed one becomes a
// timer of the loop that sends it if the socket is still open then.
class MemberReplyOut final : public ReplyOut {
 public:
  MemberReplyOut(EventLoop& loop, const int& fd, size_t& delayed, const sockaddr_in& to)
      : loop_(loop), fd_(fd), delayed_(delayed), to_(to) {}
  bool sendNow(std::string_view bytes) override { return sendFrom(fd_, to_, bytes); }
  bool sendLater(int delayMs, std::string bytes) override {
    // A unit's waiting replies are bounded as a unit alone bounds them; past that, or past the
    // loop's timer limit, the reply is dropped (and counted by the unit).
    if (delayed_ >= DelayedSender::kMaxPending) return false;
    const int* fd = &fd_;
    size_t* delayed = &delayed_;
    const sockaddr_in to = to_;
    const bool waiting =
        loop_.at(EventLoop::nowMs() + delayMs, [fd, delayed, to, bytes = std::move(bytes)] {
          --*delayed;
          sendFrom(*fd, to, bytes);
        });
    if (waiting) ++delayed_;
    return waiting;
  }

 private:
  EventLoop& loop_;
  const int& fd_;
  size_t& delayed_;
  const sockaddr_in& to_;
};
}  // namespace

Fleet::Fleet(FleetPlan plan, EventLoop& loop, UnitClock& clock)
    : plan_(std::move(plan)),
      loop_(loop),
      clock_(clock),
      buffers_(kBufferSize * kBatch),
      headers_(kBatch),
      vectors_(kBatch),
      senders_(kBatch) {
  // The headers point at the shared buffers once and for all; a receive changes only the
  // lengths and flags, which are set again after it.
  for (size_t i = 0; i < kBatch; ++i) {
    vectors_[i] = iovec{buffers_.data() + i * kBufferSize, kBufferSize};
    headers_[i].msg_hdr.msg_iov = &vectors_[i];
    headers_[i].msg_hdr.msg_iovlen = 1;
    headers_[i].msg_hdr.msg_name = &senders_[i];
    headers_[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
  }
  members_.reserve(plan_.units.size());
  for (const UnitPlan& u : plan_.units) {
    members_.push_back(std::make_unique<Member>(*this, u, clock_));
  }
}

Fleet::~Fleet() {
  close();
}

Unit& Fleet::unit(size_t index) {
  return members_[index]->unit;
}

const UnitPlan& Fleet::plan(size_t index) const {
  return members_[index]->plan;
}

Unit* Fleet::find(int number) {
  if (number < 1 || static_cast<size_t>(number) > members_.size()) return nullptr;
  Member& m = *members_[static_cast<size_t>(number) - 1];
  return m.plan.number == number ? &m.unit : nullptr;
}

Status Fleet::load() {
  for (auto& m : members_) {
    if (!plan_.single) {
      ::mkdir(m->plan.directory.c_str(), 0755);
      struct stat st {};
      if (::stat(m->plan.directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return Status::Error("unit " + std::to_string(m->plan.number) +
                             ": cannot make the folder " + m->plan.directory);
      }
    }
    m->unit.load();
  }
  return Status::Ok();
}

Status Fleet::open() {
  for (auto& m : members_) {
    const Status s = m->setActive(true);
    if (s.ok()) continue;
    close();
    // A unit alone names the address and the platform's reason, as a rig wants to read it.
    if (plan_.single && m->bindErrno != 0) {
      return Status::Error("cannot bind " + m->plan.address + ":" + std::to_string(m->plan.port) +
                           ": " + std::strerror(m->bindErrno));
    }
    if (plan_.single) return Status::Error(endpointFailureText(m->plan.port));
    return Status::Error("unit " + std::to_string(m->plan.number) + " (" + m->plan.address + ":" +
                         std::to_string(m->plan.port) + "): " + oneLine(s.text()));
  }
  return Status::Ok();
}

void Fleet::close() {
  for (auto& m : members_) m->setActive(false);
}

std::vector<Fleet::SaveFailure> Fleet::saveAll() {
  std::vector<SaveFailure> failures;
  if (plan_.single) {
    const Status s = members_[0]->unit.save();
    if (!s.ok()) failures.push_back({members_[0]->plan.number, s.text()});
    return failures;
  }
  // Many units: one batch with two flushes of the file system in all, not two per file.
  std::vector<std::array<std::string, 2>> images;
  images.reserve(members_.size());
  std::vector<FileReplacement> files;
  std::vector<const std::unique_ptr<Member>*> fileOwners;  // the member each file belongs to
  files.reserve(members_.size() * 2);
  fileOwners.reserve(members_.size() * 2);
  for (auto& m : members_) {
    images.push_back(m->unit.stateImages());
    const StatePaths& paths = m->unit.settings().paths;
    const UnreadStateFiles& unread = m->unit.unreadFiles();
    // A file that could not be read at start is left as it was.
    int config = -1;
    if (!unread.config) {
      config = static_cast<int>(files.size());
      files.push_back({paths.configFile(), images.back()[0]});
    }
    if (!unread.live) files.push_back({paths.liveFile(), images.back()[1], config});
    fileOwners.insert(fileOwners.end(), (unread.config ? 0 : 1) + (unread.live ? 0 : 1), &m);
  }
  const std::vector<Status> results = replaceFilesTogether(files);
  // A failed "VXS1.dat" is the cause; the "VXS2.dat" it held back says nothing more.
  const std::unique_ptr<Member>* reported = nullptr;
  for (size_t i = 0; i < files.size(); ++i) {
    if (results[i].ok() || fileOwners[i] == reported) continue;
    reported = fileOwners[i];
    failures.push_back({(*reported)->plan.number, results[i].text()});
  }
  return failures;
}

void Fleet::startScenarios() {
  const auto now = UnitScenario::Clock::now();
  for (auto& m : members_) {
    if (m->plan.scenario) {
      m->unit.scenario().start(m->plan.scenario, m->plan.scenarioFile, m->plan.scenarioRun, now);
    } else {
      m->unit.scenario().setOptions(m->plan.scenarioRun);
    }
  }
  scheduleScenarios();
}

void Fleet::scheduleScenarios() {
  auto earliest = UnitScenario::Clock::time_point::max();
  for (auto& m : members_) earliest = std::min(earliest, m->unit.scenario().nextDeadline());
  if (earliest == UnitScenario::Clock::time_point::max()) return;  // asleep
  // The loop's clock is the same monotonic clock, in whole milliseconds: round up.
  const auto sinceEpoch = earliest.time_since_epoch();
  const int64_t due = std::chrono::ceil<std::chrono::milliseconds>(sinceEpoch).count();
  if (due >= scenarioDue_) return;  // the timer set already comes first
  scenarioDue_ = due;
  const uint64_t generation = ++scenarioGeneration_;
  if (!loop_.at(due, [this, generation] { scenarioTimer(generation); })) {
    scenarioDue_ = INT64_MAX;  // the loop's timers are full: the next schedule tries again
  }
}

void Fleet::scenarioTimer(uint64_t generation) {
  if (generation != scenarioGeneration_) return;
  scenarioDue_ = INT64_MAX;
  const auto now = UnitScenario::Clock::now();
  for (auto& m : members_) {
    UnitScenario& scenario = m->unit.scenario();
    if (scenario.nextDeadline() <= now) scenario.advanceTo(now);
  }
  scheduleScenarios();
}

void Fleet::receive(Member& m) {
  // A socket that was quiet on the pass before most likely holds one datagram: one recvmsg
  // takes it, and a batch receive would only try again in vain. Anything left makes the
  // socket ready on the next pass, which then takes batches. A loop that is behind serves
  // only busy sockets.
  const bool busy = loop_.behind() || m.readyPass + 1 >= loop_.pass();
  m.readyPass = loop_.pass();
  if (!busy) {
    const ssize_t length = ::recvmsg(m.fd, &headers_[0].msg_hdr, MSG_DONTWAIT);
    if (length < 0) return;
    headers_[0].msg_len = static_cast<unsigned>(length);
    handleReceived(m, 1);
    return;
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  Clock::time_point before = start;
  for (int turn = 0; turn < kBatchesPerTurn && m.fd >= 0; ++turn) {
    const int want = batchSize();
    const int n =
        ::recvmmsg(m.fd, headers_.data(), static_cast<unsigned>(want), MSG_DONTWAIT, nullptr);
    if (n <= 0) return;  // nothing more now (or an error: the next readiness tries again)
    handleReceived(m, n);
    const Clock::time_point after = Clock::now();
    datagramNs_ = std::max<int64_t>(1, std::chrono::nanoseconds(after - before).count() / n);
    if (n < want || after - start >= kTurnTime) return;
    before = after;
  }
}

int Fleet::batchSize() const {
  const int64_t fit = std::chrono::nanoseconds(kTurnTime).count() / datagramNs_;
  return static_cast<int>(std::clamp<int64_t>(fit, 1, kBatch));
}

void Fleet::handleReceived(Member& m, int n) {
  for (int i = 0; i < n; ++i) headers_[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
  // Whatever way this ends, the loop's timers and tasks read the system clock again.
  struct Release {
    PassClock& clock;
    ~Release() { clock.release(); }
  } release{clock_};
  for (int i = 0; i < n && m.fd >= 0; ++i) {
    // A datagram longer than the buffer is dropped whole.
    if (headers_[i].msg_hdr.msg_flags & MSG_TRUNC) continue;
    const std::string_view data(static_cast<const char*>(vectors_[i].iov_base),
                                headers_[i].msg_len);
    MemberReplyOut out(loop_, m.fd, m.delayedReplies, senders_[i]);
    clock_.holdFor(loop_.pass());
    m.unit.handleDatagram(data, out);
  }
}

}  // namespace vexa
