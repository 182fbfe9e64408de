#include "device_blocks.h"

namespace vexa {

void writeConfigDefaults(DeviceConfig& config) {
  config.Mac = {0x00, 0x01, 0x02, 0x00, 0x00, 0x00};
  config.Ip = {192, 168, 0, 250};
  config.Mask = {255, 255, 255, 0};
  config.Gateway = {192, 168, 0, 1};
  config.ScaleLow = 0xEE;
  config.ScaleHigh = 0x01;
  config.AjTemp = 0;
  config.AjUmid = 0;
  config.VersionDate = {0x00, 0x08, 0x03, 0x15, 0x20, 0x17};
}

void writeLiveDefaults(LiveRecord& live) {
  live.setInputFlags(4);
  live.setNv(0, 250);
  live.setNv(1, 20);
  live.setNv(2, 50);
}

}  // namespace vexa
