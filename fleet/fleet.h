#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "event_loop.h"
#include "fleet_plan.h"
#include "pass_clock.h"
#include "unit.h"

namespace vexa {

// Many units in one process: each unit with its own UDP socket on its address and port, all
// sockets served by one event loop (no thread per unit, no timer per unit: the units' ticks
// are deadlines). Datagrams are received into buffers shared by all units, in batches
// (recvmmsg) from a socket that stays busy; each reply leaves at once from its unit's socket, so
// the replies of one datagram go out in order and a failed send ends that datagram's handling as
// for a unit alone. A fault's delayed reply is a timer of the loop. The requests of one pass
// share their readings of the clock (see PassClock).
//
// Loop thread only, apart from what `Unit` allows from any thread; another thread reaches a
// fleet through `EventLoop::post`. A delayed reply's timer refers to its unit, so a fleet is
// destroyed only when its loop will not run again.
class Fleet {
 public:
  // Receive buffer per datagram; a longer datagram is dropped whole, never cut.
  static constexpr size_t kBufferSize = 8192;
  // Datagrams taken from a busy socket per batch receive (fewer when they are costly, see
  // kTurnTime), and batches per readiness, so one busy unit cannot starve the rest.
  static constexpr int kBatch = 32;
  static constexpr int kBatchesPerTurn = 4;
  // The work one readiness of a socket is given: a batch stops the turn once this has passed,
  // and a batch holds no more datagrams than the last ones' cost says fit in it, so a turn
  // over datagrams of many lines (up to 8 KB of them, each line answered) lasts about this
  // long, or one datagram, and the loop looks at its signals and requests in between.
  static constexpr std::chrono::microseconds kTurnTime{1000};

  Fleet(FleetPlan plan, EventLoop& loop, UnitClock& clock);
  ~Fleet();
  Fleet(const Fleet&) = delete;
  Fleet& operator=(const Fleet&) = delete;

  // Creates each unit's folder and runs its start-up load. Error naming the first unit whose
  // folder cannot be made.
  Status load();
  // Binds every unit's socket and watches it. On the first failure the sockets opened so far
  // are closed and the error names the unit (for a unit alone: the endpoint's message).
  Status open();
  // Closes every socket.
  void close();

  // Starts each planned unit's scenario, all at the same instant, and schedules them.
  void startScenarios();
  // Schedules the scenarios again after one was started or stopped (the console's). The
  // scenarios have no timer each: one timer of the loop waits for the earliest deadline of
  // all units and advances every unit due then. With no scenario due it sets none.
  void scheduleScenarios();

  struct SaveFailure {
    int number;
    std::string text;
  };
  // Saves every unit, each atomically; a failure does not stop the others.
  std::vector<SaveFailure> saveAll();

  bool single() const { return plan_.single; }
  size_t size() const { return members_.size(); }
  Unit& unit(size_t index);
  const UnitPlan& plan(size_t index) const;
  // The unit with this number, or null.
  Unit* find(int number);

 private:
  struct Member;
  void receive(Member& m);
  // Hands the first `n` received datagrams to the unit, in order.
  void handleReceived(Member& m, int n);
  // Datagrams for the next batch: kTurnTime at the cost of the last batch's, 1 to kBatch.
  int batchSize() const;
  void scenarioTimer(uint64_t generation);

  FleetPlan plan_;
  EventLoop& loop_;
  PassClock clock_;  // the units' clock: the given one, held still while a pass serves requests
  std::vector<std::unique_ptr<Member>> members_;
  // Shared receive buffers: kBatch datagrams of kBufferSize bytes.
  std::vector<char> buffers_;
  std::vector<mmsghdr> headers_;
  std::vector<iovec> vectors_;
  std::vector<sockaddr_in> senders_;
  int64_t datagramNs_ = 1;  // the handling of one datagram of the last batch, on average
  // The scenarios' one timer: its due time (INT64_MAX: none set) and generation (a timer of
  // an older generation was overtaken by an earlier one and does nothing).
  int64_t scenarioDue_ = INT64_MAX;
  uint64_t scenarioGeneration_ = 0;
};

}  // namespace vexa
