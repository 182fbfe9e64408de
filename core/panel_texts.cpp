#include "panel_texts.h"

namespace vexa {

std::string_view panelTextName(PanelText id) {
  static constexpr std::array<std::string_view, kPanelTextCount> kNames = {
      "stRx1", "stTx1", "stTx2", "stTx3",  "stVrs1", "stVrs2", "stMac",  "stIP",
      "stMsk", "stGW",  "stScl", "stAjTp", "stAjUm", "stNv00", "stNv01", "stNv02"};
  return kNames[static_cast<size_t>(id)];
}

}  // namespace vexa
