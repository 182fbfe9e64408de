#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "event_hub.h"
#include "http_message.h"
#include "unit_registry.h"

namespace vexa::api {

// A Server-Sent Events stream of the hub's events that pass `filter`. Starts with
// "retry: 1000\n: connected\n\n" once subscribed; sends what its queue holds at most every
// `batch`, says how many events it lost, and a ": idle" comment after `heartbeat` of silence.
// Pulled on the HTTP server's thread; woken from the publishers' threads.
class EventStreamSource final : public StreamSource {
 public:
  EventStreamSource(EventHub& hub, EventQueue::Filter filter, bool withFramed,
                    std::chrono::milliseconds batch, std::chrono::milliseconds heartbeat);
  void open(std::function<void()> wake) override;
  Clock::time_point pull(std::string& out, Clock::time_point now) override;
  void close() override;

 private:
  EventHub& hub_;
  EventQueue::Filter filter_;
  const bool withFramed_;
  const std::chrono::milliseconds batch_, heartbeat_;
  std::shared_ptr<EventQueue> queue_;
  std::vector<UnitEvent> events_;
  bool started_ = false;
  Clock::time_point lastSend_{}, lastWrite_{};
};

// The dashboard's stream: every unit's card first ("full":true), then at most every `interval`
// the cards of the units that changed. The cards are read from the registry on the server's
// workers (`submit`), never on its thread; a ": idle" comment after `heartbeat` of silence.
class CardStreamSource final : public StreamSource {
 public:
  using Submit = std::function<bool(std::function<void()>)>;
  CardStreamSource(EventHub& hub, UnitRegistry& registry, Submit submit,
                   std::chrono::milliseconds interval, std::chrono::milliseconds heartbeat);
  void open(std::function<void()> wake) override;
  Clock::time_point pull(std::string& out, Clock::time_point now) override;
  void close() override;

 private:
  // Between the server's thread and the worker reading the cards.
  struct Fetch {
    std::mutex mutex;
    bool busy = false;
    std::string message;          // ready to send
    std::set<std::string> retry;  // units whose cards could not be read
    bool fullFailed = false;      // the first message could not be read
    Clock::time_point stamped{};  // the time the last message carries
  };

  EventHub& hub_;
  UnitRegistry& registry_;
  const Submit submit_;
  const std::chrono::milliseconds interval_, heartbeat_;
  std::function<void()> wake_;
  std::shared_ptr<ChangeMarks> marks_;
  std::shared_ptr<Fetch> fetch_ = std::make_shared<Fetch>();
  std::set<std::string> pending_;
  bool started_ = false, fetched_ = false;
  Clock::time_point lastSend_{}, lastWrite_{};
};

}  // namespace vexa::api
