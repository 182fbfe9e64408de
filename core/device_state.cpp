#include "device_state.h"

namespace vexa {

void deriveWorkValues(DeviceData& d) {
  d.WorkScale = workScaleOf(d.config);
  d.WorkAjTemp = d.config.AjTemp;
  d.WorkAjUmid = d.config.AjUmid;
}

}  // namespace vexa
