#pragma once

#include <array>
#include <string>

#include "device_state.h"
#include "panel_texts.h"

namespace vexa {

// The seven configuration displays that ShowConfig sets, with their texts.
struct ConfigDisplay {
  static constexpr std::array<PanelText, 7> kIds = {
      PanelText::stMac, PanelText::stIP,   PanelText::stMsk, PanelText::stGW,
      PanelText::stScl, PanelText::stAjTp, PanelText::stAjUm};
  std::array<std::string, 7> texts;
};

// MAC as "00-01-02-00-00-00", addresses as dotted decimals, scale signed, adjustments unsigned.
ConfigDisplay configDisplayOf(const DeviceData& d);

// Sends the seven texts to the sink in display order.
void showConfigOn(PanelTextSink& sink, const ConfigDisplay& display);

// The version date text of stVrs2: day/month/year hour:minute from the BCD bytes.
std::string versionDateText(const DeviceConfig& config);

}  // namespace vexa
