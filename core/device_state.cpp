#include "device_state.h"

namespace vexa {

void deriveWorkValues(DeviceData& d) {
  d.WorkScale = workScaleOf(d.config);
  d.WorkAjTemp = d.config.AjTemp;
  d.WorkAjUmid = d.config.AjUmid;
}

void writeStartupDefaults(DeviceData& d) {
  writeConfigDefaults(d.config);
  writeLiveDefaults(d.live);
  deriveWorkValues(d);
  d.VariantCode = 4;
}

}  // namespace vexa
