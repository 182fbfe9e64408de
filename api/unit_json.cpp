#include "unit_json.h"

#include "config_display.h"
#include "reply_framing.h"
#include "scenario.h"
#include "text_format.h"

namespace vexa::api {

using nlohmann::json;

namespace {

constexpr std::array<const char*, 3> kBatteryRanges = {"60 V", "120 V", "240 V"};

std::string bitsText(unsigned value) {
  std::string bits;
  for (int bit = 7; bit >= 0; --bit) bits += (value >> bit & 1u) ? '1' : '0';
  return bits;
}

template <class Bytes>
std::string hexOf(const Bytes& bytes) {
  std::string hex;
  hex.reserve(sizeof bytes * 2);
  const auto* p = reinterpret_cast<const uint8_t*>(&bytes);
  for (size_t i = 0; i < sizeof bytes; ++i) appendHex(hex, p[i], 2);
  return hex;
}

}  // namespace

std::string latin1ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out;
}

std::string dumpJson(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

json unitSummaryJson(const UnitSnapshot& u) {
  uint64_t lines = 0;
  for (const uint64_t n : u.counters.lines) lines += n;
  json levels = json::object();
  for (int i = 0; i < kLevelCount; ++i) levels[kLevelInfo[i].name] = u.live.Nv(i);
  return json{{"id", u.id},
              {"port", u.port},
              {"inputs", u.live.InputFlags() & 0xFF},
              {"inputs_bits", bitsText(u.live.InputFlags() & 0xFF)},
              {"clickable_inputs", u.clickableInputs},
              {"levels", levels},
              {"level_texts",
               {latin1ToUtf8(u.levelTexts[0]), latin1ToUtf8(u.levelTexts[1]),
                latin1ToUtf8(u.levelTexts[2])}},
              {"auto", u.autoMode},
              {"variant", std::string(variantCaption(u.variantCode))},
              {"endpoint", u.endpointOn},
              {"lines", lines}};
}

json unitJson(const UnitSnapshot& u) {
  DeviceData d;
  d.config = u.config;
  d.WorkScale = u.workScale;
  d.WorkAjTemp = u.workAjTemp;
  d.WorkAjUmid = u.workAjUmid;
  const ConfigDisplay shown = configDisplayOf(d);
  json marks = json::array();
  for (const uint8_t m : u.config.ConfigMarks) marks.push_back(m);
  const json config{{"mac", shown.texts[0]},
                    {"ip", shown.texts[1]},
                    {"mask", shown.texts[2]},
                    {"gateway", shown.texts[3]},
                    {"scale", u.workScale},
                    {"aj_temp", u.workAjTemp},
                    {"aj_umid", u.workAjUmid},
                    {"marks", marks},
                    {"version_date", versionDateText(u.config)},
                    {"raw", hexOf(u.config)}};

  const unsigned inputs = u.live.InputFlags() & 0xFF;
  json byName = json::object();
  for (int bit = 0; bit < 8; ++bit) byName[std::string(inputName(bit))] = (inputs >> bit & 1u) != 0;
  json levels = json::object();
  for (int i = 0; i < kLevelCount; ++i) {
    const int16_t nv = u.live.Nv(i);
    levels[kLevelInfo[i].name] = {
        {"value", nv},
        {"text", latin1ToUtf8(u.levelTexts[i])},
        {"source", u.levelSources[i].empty() ? std::string("operator") : u.levelSources[i]}};
  }
  const int item = u.batteryItem;
  const json live{{"inputs", inputs},
                  {"inputs_bits", bitsText(inputs)},
                  {"inputs_by_name", byName},
                  {"clickable_inputs", u.clickableInputs},
                  {"levels", levels},
                  {"auto", u.autoMode},
                  {"battery", item},
                  {"battery_range", item >= 0 && item <= 2 ? json(kBatteryRanges[item]) : json()},
                  {"variant", std::string(variantCaption(u.variantCode))},
                  {"endpoint", u.endpointOn},
                  {"reset_countdown", u.resetCountdown},
                  {"token", u.token},
                  {"raw", hexOf(u.live)}};

  const json traffic{{"request", latin1ToUtf8(u.traffic[0])},
                     {"reply", latin1ToUtf8(u.traffic[1])},
                     {"framed_hex", u.traffic[2]},
                     {"framed", latin1ToUtf8(u.traffic[3])},
                     {"version", u.versionText}};
  const json faults{{"drop", u.faults.dropProbability},
                    {"delay_ms", u.faults.delayMs},
                    {"jitter_ms", u.faults.delayJitterMs},
                    {"corrupt", u.faults.corruptProbability}};
  json lines = json::object();
  for (int i = 0; i < vexa::UnitCounters::kCommandCount; ++i) {
    const auto command = static_cast<vexa::UnitCounters::Command>(i);
    lines[std::string(vexa::UnitCounters::commandName(command))] = u.counters.lines[command];
  }
  const UnitCounters& c = u.counters;
  const json counters{
      {"datagrams", c.datagrams},
      {"replies", c.replies},
      {"bytes_received", c.bytesReceived},
      {"bytes_sent", c.bytesSent},
      {"lines", lines},
      {"delay_overflow", c.delayOverflow},
      {"lines_unanswered", c.linesUnanswered},
      {"faults", {{"dropped", c.dropped}, {"delayed", c.delayed}, {"corrupted", c.corrupted}}}};
  const json scenario =
      u.scenarioRunning ? json{{"name", u.scenarioName}, {"time", u.scenarioTime}} : json();
  return json{{"id", u.id},           {"port", u.port},      {"config", config},
              {"live", live},         {"traffic", traffic},  {"faults", faults},
              {"counters", counters}, {"scenario", scenario}};
}

void appendEventJson(std::string& out, const UnitEvent& e, bool withFramed) {
  out += "{\"seq\":";
  appendDecimal(out, static_cast<int64_t>(e.seq));
  out += ",\"time_ns\":";
  appendDecimal(out, e.timeNs);
  out += ",\"unit\":";
  appendJsonText(out, e.unit);
  out += ",\"kind\":\"";
  out += eventKindName(e.kind);
  out += '"';
  switch (e.kind) {
    case EventKind::request:
      out += ",\"line\":";
      appendJsonText(out, e.text);
      break;
    case EventKind::reply:
      out += ",\"body\":";
      appendJsonText(out, e.text);
      if (withFramed) {
        out += ",\"framed\":";
        appendJsonText(out, e.framed);
      }
      break;
    case EventKind::write:
      out += ",\"command\":";
      appendJsonText(out, e.text);
      break;
    default:
      break;
  }
  if (!e.fields.empty()) {
    out += ',';
    out += e.fields;
  }
  out += '}';
}

std::string eventJson(const UnitEvent& e, bool withFramed) {
  std::string out;
  appendEventJson(out, e, withFramed);
  return out;
}

}  // namespace vexa::api
