#include "config_display.h"

#include "text_format.h"

namespace vexa {

namespace {
template <size_t N>
std::string dottedDecimal(const std::array<uint8_t, N>& bytes) {
  std::string s;
  for (size_t i = 0; i < N; ++i) {
    if (i) s += '.';
    appendDecimal(s, bytes[i]);
  }
  return s;
}
}  // namespace

ConfigDisplay configDisplayOf(const DeviceData& d) {
  ConfigDisplay display;
  std::string mac;
  for (size_t i = 0; i < d.config.Mac.size(); ++i) {
    if (i) mac += '-';
    appendHex(mac, d.config.Mac[i], 2);
  }
  display.texts[0] = mac;
  display.texts[1] = dottedDecimal(d.config.Ip);
  display.texts[2] = dottedDecimal(d.config.Mask);
  display.texts[3] = dottedDecimal(d.config.Gateway);
  display.texts[4] = std::to_string(d.WorkScale);
  display.texts[5] = std::to_string(d.WorkAjTemp);
  display.texts[6] = std::to_string(d.WorkAjUmid);
  return display;
}

void showConfigOn(PanelTextSink& sink, const ConfigDisplay& display) {
  for (size_t i = 0; i < ConfigDisplay::kIds.size(); ++i) {
    sink.setPanelText(ConfigDisplay::kIds[i], display.texts[i]);
  }
}

std::string versionDateText(const DeviceConfig& c) {
  const auto& v = c.VersionDate;
  return HexText(v[kVdDay], 2) + "/" + HexText(v[kVdMonth], 2) + "/" + HexText(v[kVdYear], 2) +
         " " + HexText(v[kVdHour], 2) + ":" + HexText(v[kVdMinute], 2);
}

}  // namespace vexa
