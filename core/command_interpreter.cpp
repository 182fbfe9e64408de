#include "command_interpreter.h"

#include <algorithm>
#include <array>

#include "field_reader.h"
#include "text_format.h"

namespace vexa {

namespace {

uint8_t low8(int32_t v) {
  return static_cast<uint8_t>(static_cast<uint32_t>(v) & 0xFF);
}

uint8_t byteField(std::string_view line, size_t position) {
  return low8(ParseField(fieldAt(line, position, 3)));
}

// Writes a byte as two hex digits and a separator; the rPr list is built in a stack buffer.
char* putHex2(char* p, uint8_t b, char separator) {
  *p++ = kHexDigits[b >> 4];
  *p++ = kHexDigits[b & 0xF];
  *p++ = separator;
  return p;
}

template <size_t N>
char* putHexGroup(char* p, const std::array<uint8_t, N>& bytes, char separator) {
  for (size_t i = 0; i < N; ++i) p = putHex2(p, bytes[i], i + 1 < N ? separator : ',');
  return p;
}

// Reads four byte fields at 8, 12, 16, 20 (from `first`) and echoes them as a dotted quad.
void writeQuad(std::string& body, std::array<uint8_t, 4>& target, std::string_view line,
               size_t first) {
  for (size_t i = 0; i < 4; ++i) {
    target[i] = byteField(line, first + 4 * i);
    if (i) body += '.';
    appendDecimal(body, target[i]);
  }
  body += ',';
}

void snd(std::string& body, DeviceData& d, TickSource& ticks) {
  body += d.MeasureText;
  d.TickToken = static_cast<uint16_t>(ticks.GetTickCount() & 0xFFFF);
  const size_t start = body.size();
  appendDecimal(body, d.TickToken);
  body.insert(start, 7 - (body.size() - start), '0');
  body += ',';
}

void rst(std::string& body, DeviceData& d, std::string_view line) {
  const auto token = static_cast<uint16_t>(static_cast<uint32_t>(ParseField(fieldAt(line, 10, 8))));
  if (token == d.TickToken) {
    // The field has three characters, so the product stays far inside 32 bits.
    d.ResetCountdown = ParseField(fieldAt(line, 7, 3)) * 100;
    body += "ack, ";
  } else {
    body += "nak, ";
  }
}

void rPr(std::string& body, const DeviceData& d) {
  const DeviceConfig& c = d.config;
  char buffer[160];  // the longest list is 114 characters
  char* p = buffer;
  p = putHexGroup(p, c.Ip, '.');
  p = putHexGroup(p, c.Mask, '.');
  p = putHexGroup(p, c.Gateway, '.');
  p = putHexGroup(p, c.Mac, ':');
  p = putHex(p, d.WorkScale, 2);  // a negative scale takes eight digits
  *p++ = ',';
  if (d.VariantCode >= 3) {
    p = putHex2(p, d.WorkAjTemp, ',');
    p = putHex2(p, d.WorkAjUmid, ',');
  }
  for (uint8_t mark : c.ConfigMarks) p = putHex2(p, mark, ',');
  for (char ch : std::string_view("1.30,")) *p++ = ch;
  p = putHex2(p, c.AjTemp, ',');
  p = putHex2(p, c.AjUmid, ',');
  for (int index : {kVdHour, kVdMinute, kVdDay, kVdMonth, kVdCentury, kVdYear}) {
    p = putHex2(p, c.VersionDate[static_cast<size_t>(index)], ',');
  }
  body.append(buffer, p);
}

void wPr(std::string& body, DeviceData& d, std::string_view line) {
  writeQuad(body, d.config.Ip, line, 8);
  writeQuad(body, d.config.Mask, line, 24);
  writeQuad(body, d.config.Gateway, line, 40);
  d.config.ConfigMarks[2] = 12;
  d.config.ConfigMarks[3] = 22;
}

void wMc(DeviceData& d, std::string_view line) {
  for (size_t i = 0; i < 6; ++i) d.config.Mac[i] = byteField(line, 8 + 4 * i);
  d.config.ConfigMarks[0] = 11;
  d.config.ConfigMarks[1] = 21;
}

void wSc(DeviceData& d, std::string_view line) {
  const int32_t v = ParseField(fieldAt(line, 8, 3));
  d.config.ScaleLow = low8(v);
  d.config.ScaleHigh = low8(v / 256);
  d.config.AjTemp = byteField(line, 12);
  d.config.AjUmid = byteField(line, 16);
  deriveWorkValues(d);
  d.config.ConfigMarks[4] = 13;
  d.config.ConfigMarks[5] = 23;
}

}  // namespace

LineOutcome interpretLineInto(std::string& body, DeviceData& d, std::string_view line,
                              TickSource& ticks) {
  const std::string_view command = fieldAt(line, 1, 3);
  const std::string_view field = fieldAt(line, 4, 3);
  char head[8];  // command "," field ",": each at most three characters
  char* p = std::copy(command.begin(), command.end(), head);
  *p++ = ',';
  p = std::copy(field.begin(), field.end(), p);
  *p++ = ',';
  body.assign(head, p);

  LineOutcome outcome;
  if (command == "snd") {
    snd(body, d, ticks);
  } else if (command == "rst") {
    rst(body, d, line);
  } else if (command == "rPr") {
    rPr(body, d);
  } else if (command == "wPr") {
    wPr(body, d, line);
    outcome.configWritten = true;
  } else if (command == "wMc") {
    wMc(d, line);
    outcome.configWritten = true;
  } else if (command == "wSc") {
    wSc(d, line);
    outcome.configWritten = true;
  }
  return outcome;
}

std::string InterpretLine(DeviceData& d, std::string_view line, TickSource& ticks) {
  std::string body;
  interpretLineInto(body, d, line, ticks);
  return body;
}

}  // namespace vexa
