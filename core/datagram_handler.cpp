#include "datagram_handler.h"

#include "command_interpreter.h"
#include "config_display.h"
#include "reply_framing.h"
#include "text_format.h"

namespace vexa {

DatagramHandler::DatagramHandler(DeviceState& state, TickSource& ticks, PanelTextSink* panel,
                                 TrafficLogSink* log)
    : state_(state), ticks_(ticks), panel_(panel), log_(log) {}

void DatagramHandler::UDPUDPRead(std::string_view datagram, ReplySender& sender) {
  try {
    if (observer_) observer_->datagramReceived(datagram.size());
    if (datagram.empty()) return;
    if (log_) log_->WriteLog(trimmed(datagram));
    line_.clear();
    for (char c : datagram) {
      const auto b = static_cast<unsigned char>(c);
      if (b >= 0x20 && b <= 0x7F) {
        line_ += c;
      } else if (b == 0x0A) {
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
  ConfigDisplay config;
  state_.locked([&](DeviceData& d) {
    outcome = interpretLineInto(body_, d, line, ticks_);
    if (outcome.configWritten && panel_) config = configDisplayOf(d);
    variant = d.VariantCode;
    token = d.TickToken;
  });
  if (outcome.configWritten && panel_) showConfigOn(*panel_, config);

  if (log_) log_->WriteLog(body_);
  body_ += "\r\n";
  if (panel_) show(PanelText::stTx1, trimmed(body_), body_.size());

  const std::string_view version = frameReplyInto(framed_, body_, variant, token);
  if (panel_) {
    panel_->setPanelText(PanelText::stVrs1, version);
    panel_->setPanelText(PanelText::stTx2, trimmed(HexDump(framed_)));
    show(PanelText::stTx3, trimmed(framed_), framed_.size());
  }
  const bool sent = sender.Send(framed_);
  if (observer_)
    observer_->lineHandled(line, std::string_view(body_).substr(0, body_.size() - 2), framed_);
  return sent;
}

}  // namespace vexa
