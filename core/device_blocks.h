#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vexa {

// The device configuration, byte for byte the image of "VXS1.dat". Multi-byte values are
// little-endian; every field is bytes, so the image is the same on any host.
struct DeviceConfig {
  std::array<uint8_t, 6> Mac;
  std::array<uint8_t, 4> Ip;
  std::array<uint8_t, 4> Mask;
  std::array<uint8_t, 4> Gateway;
  uint8_t ScaleLow;
  uint8_t ScaleHigh;
  uint8_t AjTemp;
  uint8_t AjUmid;
  // Binary-coded decimal, in stored order: hour, minute, month, day, century, year.
  std::array<uint8_t, 6> VersionDate;
  std::array<uint8_t, 482> Reserved1;  // kept as loaded, never interpreted
  // Marks left by wMc (offsets 510, 511), wPr (512, 513) and wSc (514, 515).
  std::array<uint8_t, 6> ConfigMarks;
  std::array<uint8_t, 508> Reserved2;  // kept as loaded, never interpreted
};

enum VersionDateByte { kVdHour = 0, kVdMinute, kVdMonth, kVdDay, kVdCentury, kVdYear };

static_assert(sizeof(DeviceConfig) == 1024);
static_assert(offsetof(DeviceConfig, Mac) == 0);
static_assert(offsetof(DeviceConfig, Ip) == 6);
static_assert(offsetof(DeviceConfig, Mask) == 10);
static_assert(offsetof(DeviceConfig, Gateway) == 14);
static_assert(offsetof(DeviceConfig, ScaleLow) == 18);
static_assert(offsetof(DeviceConfig, ScaleHigh) == 19);
static_assert(offsetof(DeviceConfig, AjTemp) == 20);
static_assert(offsetof(DeviceConfig, AjUmid) == 21);
static_assert(offsetof(DeviceConfig, VersionDate) == 22);
static_assert(offsetof(DeviceConfig, Reserved1) == 28);
static_assert(offsetof(DeviceConfig, ConfigMarks) == 510);
static_assert(offsetof(DeviceConfig, Reserved2) == 516);

// The live values, byte for byte the image of "VXS2.dat". The 16-bit fields are kept as
// little-endian byte pairs and read through the accessors.
struct LiveRecord {
  std::array<uint8_t, 2> InputFlagsBytes;
  std::array<uint8_t, 2> Nv00Bytes;
  std::array<uint8_t, 2> Nv01Bytes;
  std::array<uint8_t, 2> Nv02Bytes;
  std::array<uint8_t, 2> Reserved;  // kept as loaded, never interpreted

  uint16_t InputFlags() const { return readU16(InputFlagsBytes); }
  void setInputFlags(uint16_t v) { writeU16(InputFlagsBytes, v); }
  // Level 0 (battery), 1 (temperature) or 2 (humidity).
  int16_t Nv(int level) const { return static_cast<int16_t>(readU16(*levelBytes(level))); }
  void setNv(int level, int16_t v) { writeU16(*levelBytes(level), static_cast<uint16_t>(v)); }

 private:
  static uint16_t readU16(const std::array<uint8_t, 2>& b) {
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
  }
  static void writeU16(std::array<uint8_t, 2>& b, uint16_t v) {
    b[0] = static_cast<uint8_t>(v & 0xFF);
    b[1] = static_cast<uint8_t>(v >> 8);
  }
  const std::array<uint8_t, 2>* levelBytes(int level) const {
    return level == 0 ? &Nv00Bytes : level == 1 ? &Nv01Bytes : &Nv02Bytes;
  }
  std::array<uint8_t, 2>* levelBytes(int level) {
    return level == 0 ? &Nv00Bytes : level == 1 ? &Nv01Bytes : &Nv02Bytes;
  }
};

static_assert(sizeof(LiveRecord) == 10);
static_assert(offsetof(LiveRecord, InputFlagsBytes) == 0);
static_assert(offsetof(LiveRecord, Nv00Bytes) == 2);
static_assert(offsetof(LiveRecord, Nv01Bytes) == 4);
static_assert(offsetof(LiveRecord, Nv02Bytes) == 6);
static_assert(offsetof(LiveRecord, Reserved) == 8);

// Input bits of InputFlags.
enum InputBit { kPresenca = 0, kReset = 1, kRede = 2, kRede2 = 3, kRede3 = 4 };

// Writes the start-up defaults into bytes 0..27 of the configuration; the rest is untouched.
void writeConfigDefaults(DeviceConfig& config);

// The live defaults used when "VXS2.dat" does not exist: inputs 4 ("rede"), levels 250, 20, 50.
void writeLiveDefaults(LiveRecord& live);

// The signed working scale of a configuration: low byte + 256 x high byte as a 16-bit number.
inline int16_t workScaleOf(const DeviceConfig& c) {
  return static_cast<int16_t>(static_cast<uint16_t>(c.ScaleLow | (c.ScaleHigh << 8)));
}

}  // namespace vexa
