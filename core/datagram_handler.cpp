#include "datagram_handler.h"

#include <algorithm>
#include <optional>

#include "command_interpreter.h"
#include "config_display.h"
#include "reply_framing.h"
#include "text_format.h"

namespace vexa {

DatagramHandler::DatagramHandler(DeviceState& state, TickSource& ticks, PanelTextSink* panel,
                                 TrafficLogSink* log, LineHooks* hooks)
    : state_(state), ticks_(ticks), panel_(panel), log_(log), hooks_(hooks) {}

void DatagramHandler::UDPUDPRead(std::string_view datagram, ReplySender& sender) {
  if (datagram.empty()) return;
  try {
    if (log_) log_->WriteLog(trimmed(datagram));
    line_.clear();
    size_t answered = 0;
    auto printable = [](unsigned char b) { return b >= 0x20 && b <= 0x7F; };
    for (size_t i = 0; i < datagram.size(); ++i) {
      const auto b = static_cast<unsigned char>(datagram[i]);
      if (printable(b)) {
        // A run of printable bytes joins the line at once.
        size_t end = i + 1;
        while (end < datagram.size() && printable(static_cast<unsigned char>(datagram[end]))) {
          ++end;
        }
        line_.append(datagram.data() + i, end - i);
        i = end - 1;
      } else if (b == 0x0A) {
        if (maxReplies_ != 0 && answered == maxReplies_) {
          // The rest of the datagram's lines go unanswered: count them and stop.
          const size_t rest = static_cast<size_t>(
              std::count(datagram.begin() + static_cast<std::ptrdiff_t>(i), datagram.end(), '\n'));
          linesUnanswered_ += rest;
          return;
        }
        ++answered;
        if (!handleLine(line_, sender)) return;
        line_.clear();
      }
    }
    // Characters after the last line feed are discarded.
  } catch (...) {
    // An error ends this datagram's handling; nothing on the traffic path reaches the operator.
  }
}

std::vector<std::string> DatagramHandler::handle(std::string_view datagram) {
  struct Collector final : ReplySender {
    std::vector<std::string> replies;
    bool Send(std::string_view bytes) override {
      replies.emplace_back(bytes);
      return true;
    }
  } collector;
  UDPUDPRead(datagram, collector);
  return std::move(collector.replies);
}

// Sets a display to `text` + " (" + length + ")".
void DatagramHandler::show(PanelText id, std::string_view text, size_t length) {
  scratch_.assign(text);
  scratch_ += " (";
  appendDecimal(scratch_, static_cast<int64_t>(length));
  scratch_ += ')';
  panel_->setPanelText(id, scratch_);
}

bool DatagramHandler::handleLine(std::string_view line, ReplySender& sender) {
  if (panel_) show(PanelText::stRx1, trimmed(line), line.size());

  int32_t variant = 0;
  uint16_t token = 0;
  LineOutcome outcome;
  std::optional<ConfigDisplay> config;  // built only when a write changed the configuration
  const bool wantConfig = panel_ || hooks_;
  state_.locked([&](DeviceData& d) {
    if (hooks_) hooks_->beforeLine(d);
    outcome = interpretLineInto(body_, d, line, ticks_);
    if (outcome.configWritten && wantConfig) config = configDisplayOf(d);
    variant = d.VariantCode;
    token = d.TickToken;
  });
  if (config && panel_) showConfigOn(*panel_, *config);
  if (hooks_) hooks_->lineHandled(line, body_, config ? &*config : nullptr);

  if (log_) log_->WriteLog(body_);
  body_ += "\r\n";
  if (panel_) show(PanelText::stTx1, trimmed(body_), body_.size());

  const std::string_view version = frameReplyInto(framed_, body_, variant, token);
  if (panel_) {
    panel_->setPanelText(PanelText::stVrs1, version);
    panel_->setPanelText(PanelText::stTx2, trimmed(HexDump(framed_)));
    show(PanelText::stTx3, trimmed(framed_), framed_.size());
  }
  return sender.Send(framed_);
}

}  // namespace vexa
