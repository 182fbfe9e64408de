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

DatagramHandler::Scratch& DatagramHandler::scratch() {
  static thread_local Scratch texts;
  return texts;
}

void DatagramHandler::UDPUDPRead(std::string_view datagram, ReplySender& sender) {
  if (datagram.empty()) return;
  try {
    if (log_) log_->WriteLog(trimmed(datagram));
    Scratch& s = scratch();
    std::string& line = s.line;
    line.clear();
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
        line.append(datagram.data() + i, end - i);
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
        if (!handleLine(line, sender, s)) return;
        line.clear();
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
void DatagramHandler::show(PanelText id, std::string_view text, size_t length, Scratch& s) {
  s.display.assign(text);
  s.display += " (";
  appendDecimal(s.display, static_cast<int64_t>(length));
  s.display += ')';
  panel_->setPanelText(id, s.display);
}

bool DatagramHandler::handleLine(std::string_view line, ReplySender& sender, Scratch& s) {
  std::string& body = s.body;
  std::string& framed = s.framed;
  if (panel_) show(PanelText::stRx1, trimmed(line), line.size(), s);

  int32_t variant = 0;
  uint16_t token = 0;
  LineOutcome outcome;
  std::optional<ConfigDisplay> config;  // built only when a write changed the configuration
  const bool wantConfig = panel_ || hooks_;
  state_.locked([&](DeviceData& d) {
    if (hooks_) hooks_->beforeLine(d);
    outcome = interpretLineInto(body, d, line, ticks_);
    if (outcome.configWritten && wantConfig) config = configDisplayOf(d);
    variant = d.VariantCode;
    token = d.TickToken;
  });
  if (config && panel_) showConfigOn(*panel_, *config);
  if (hooks_) hooks_->lineHandled(line, body, config ? &*config : nullptr);

  if (log_) log_->WriteLog(body);
  body += "\r\n";
  if (panel_) show(PanelText::stTx1, trimmed(body), body.size(), s);

  const std::string_view version = frameReplyInto(framed, body, variant, token);
  if (panel_) {
    panel_->setPanelText(PanelText::stVrs1, version);
    panel_->setPanelText(PanelText::stTx2, trimmed(HexDump(framed)));
    show(PanelText::stTx3, trimmed(framed), framed.size(), s);
  }
  return sender.Send(framed);
}

}  // namespace vexa
