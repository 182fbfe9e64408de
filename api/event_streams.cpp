#include "event_streams.h"

#include "text_format.h"
#include "unit_json.h"

namespace vexa::api {

namespace {

void appendFrame(std::string& out, const UnitEvent& e, bool withFramed) {
  out += "id: ";
  appendDecimal(out, static_cast<int64_t>(e.seq));
  out += "\nevent: ";
  out += eventKindName(e.kind);
  out += "\ndata: ";
  appendEventJson(out, e, withFramed);
  out += "\n\n";
}

constexpr const char* kIdle = ": idle\n\n";
constexpr size_t kMaxPiece = 256;

}  // namespace

EventStreamSource::EventStreamSource(EventHub& hub, EventQueue::Filter filter, bool withFramed,
                                     std::chrono::milliseconds batch,
                                     std::chrono::milliseconds heartbeat)
    : hub_(hub),
      filter_(std::move(filter)),
      withFramed_(withFramed),
      batch_(batch),
      heartbeat_(heartbeat) {}

void EventStreamSource::open(std::function<void()> wake) {
  queue_ = hub_.subscribe(filter_, EventQueue::kDefaultCapacity, std::move(wake));
}

void EventStreamSource::close() {
  if (queue_) hub_.unsubscribe(queue_);
  queue_.reset();
}

StreamSource::Clock::time_point EventStreamSource::pull(std::string& out, Clock::time_point now) {
  if (!started_) {
    // Subscribed since open: a client may rely on this line meaning so.
    started_ = true;
    out = "retry: 1000\n: connected\n\n";
    lastWrite_ = now;
    lastSend_ = now - batch_;
    return now;
  }
  // Under a flood, events go out in batches at most every batch_, so a reader costs a few
  // system calls per interval however many events there are.
  if (now < lastSend_ + batch_) return lastSend_ + batch_;
  // A piece at a time, so the text a stream holds stays bounded (kMaxPiece events, some 80 KiB);
  // the rest follows as soon as the piece is written.
  const uint64_t lost = queue_->take(events_, std::chrono::milliseconds(0), kMaxPiece);
  const bool more = events_.size() == kMaxPiece;
  if (lost > 0) {
    out += "event: lost\ndata: {\"lost\":" + std::to_string(lost) +
           ",\"lost_total\":" + std::to_string(queue_->lostTotal()) + "}\n\n";
  }
  for (const UnitEvent& e : events_) appendFrame(out, e, withFramed_);
  events_.clear();
  if (!out.empty()) {
    lastWrite_ = now;
    if (more) return now;
    lastSend_ = now;
    return now + batch_;
  }
  // A comment now and then finds a reader that has gone.
  if (now - lastWrite_ >= heartbeat_) {
    out = kIdle;
    lastWrite_ = now;
  }
  return lastWrite_ + heartbeat_;
}

CardStreamSource::CardStreamSource(EventHub& hub, UnitRegistry& registry, Submit submit,
                                   std::chrono::milliseconds interval,
                                   std::chrono::milliseconds heartbeat)
    : hub_(hub),
      registry_(registry),
      submit_(std::move(submit)),
      interval_(interval),
      heartbeat_(heartbeat) {}

void CardStreamSource::open(std::function<void()> wake) {
  // Silence is counted from the start: the first message, not a comment, opens the stream.
  lastWrite_ = Clock::now();
  wake_ = wake;
  marks_ = hub_.watchChanges(std::move(wake));
}

void CardStreamSource::close() {
  if (marks_) hub_.unwatch(marks_);
  marks_.reset();
}

StreamSource::Clock::time_point CardStreamSource::pull(std::string& out, Clock::time_point now) {
  bool busy = false;
  Clock::time_point stamped{};
  {
    std::lock_guard<std::mutex> lock(fetch_->mutex);
    out.swap(fetch_->message);
    stamped = fetch_->stamped;
    fetch_->message.clear();
    pending_.merge(fetch_->retry);
    fetch_->retry.clear();
    busy = fetch_->busy;
    if (fetch_->fullFailed) fetched_ = false;  // the full message is tried again
    fetch_->fullFailed = false;
  }
  if (!out.empty()) {
    started_ = true;
    lastWrite_ = now;
  }
  // Changes are gathered per unit and sent at most every interval_: the first message holds
  // every card, later ones only the changed units'.
  if (!busy && started_) pending_.merge(marks_->take(std::chrono::milliseconds(0)));
  const bool wanted = !fetched_ || (started_ && !pending_.empty());
  // The next message is due an interval after the time the previous one carries, and carries a
  // time no earlier than that: readers may rely on the gap between their times.
  const Clock::time_point due = std::max(lastSend_, stamped) + interval_;
  if (!busy && wanted && now >= due) {
    const bool full = !fetched_;
    std::set<std::string> ids;
    if (!full) ids.swap(pending_);
    {
      std::lock_guard<std::mutex> lock(fetch_->mutex);
      fetch_->busy = busy = true;
    }
    auto task = [fetch = fetch_, &registry = registry_, wake = wake_, ids, full, due] {
      const auto units = full ? registry.snapshotAll() : registry.snapshots(ids);
      std::string message;
      Clock::time_point stamp{};
      if (units) {
        nlohmann::json cards = nlohmann::json::array();
        for (const UnitSnapshot& u : *units) cards.push_back(unitSummaryJson(u));
        stamp = std::max(Clock::now(), due);
        const auto time = stamp.time_since_epoch();
        message = (full ? "retry: 1000\n" : "") + std::string("event: cards\ndata: ") +
                  dumpJson({{"time_ns", std::chrono::nanoseconds(time).count()},
                            {"full", full},
                            {"cards", cards}}) +
                  "\n\n";
      }
      {
        std::lock_guard<std::mutex> lock(fetch->mutex);
        fetch->busy = false;
        // Cards that could not be read stay pending.
        if (units) fetch->message = std::move(message);
        if (units) fetch->stamped = stamp;
        if (!units) fetch->retry = ids;
        fetch->fullFailed = !units && full;
      }
      wake();
    };
    lastSend_ = now;
    fetched_ = true;
    if (!submit_(task)) {
      std::lock_guard<std::mutex> lock(fetch_->mutex);
      fetch_->busy = busy = false;
      pending_.merge(ids);
      fetched_ = !full;
    }
  }
  if (out.empty() && now - lastWrite_ >= heartbeat_) {
    out = kIdle;
    lastWrite_ = now;
  }
  if (busy) return lastWrite_ + heartbeat_;  // the worker wakes the stream
  if (!fetched_ || !pending_.empty()) return std::max(due, now);
  return lastWrite_ + heartbeat_;
}

}  // namespace vexa::api
