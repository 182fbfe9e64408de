#pragma once

#include <array>
#include <string>
#include <string_view>

namespace vexa {

// The panel's text displays that the device core and the presenter write.
enum class PanelText {
  stRx1,
  stTx1,
  stTx2,
  stTx3,
  stVrs1,
  stVrs2,
  stMac,
  stIP,
  stMsk,
  stGW,
  stScl,
  stAjTp,
  stAjUm,
  stNv00,
  stNv01,
  stNv02,
  kCount
};

constexpr size_t kPanelTextCount = static_cast<size_t>(PanelText::kCount);

// The control's object name ("stRx1", ...).
std::string_view panelTextName(PanelText id);

// Receives display texts. The datagram handler calls it on the listener thread, so an
// implementation must not block and must carry the texts to the GUI thread in order.
class PanelTextSink {
 public:
  virtual ~PanelTextSink() = default;
  virtual void setPanelText(PanelText id, std::string_view text) = 0;
};

// Receives traffic log entries (only when the log switch is on). Never fails towards the caller.
class TrafficLogSink {
 public:
  virtual ~TrafficLogSink() = default;
  virtual void WriteLog(std::string_view text) = 0;
};

}  // namespace vexa
