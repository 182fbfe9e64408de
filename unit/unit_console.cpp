#include "unit_console.h"

#include <array>
#include <charconv>
#include <sstream>

#include "bits.h"
#include "input_names.h"
#include "level_rules.h"
#include "number_format.h"
#include "reply_framing.h"
#include "scenario_file.h"
#include "text_format.h"
#include "unit_scenario.h"

namespace vexa {

namespace {

bool parseInt(const std::string& text, long min, long max, long& out) {
  if (text.empty()) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
  return r.ec == std::errc() && r.ptr == text.data() + text.size() && out >= min && out <= max;
}

// "on"/"off" to a flag; false when it is neither.
bool onOff(const std::string& word, bool& on) {
  if (word != "on" && word != "off") return false;
  on = word == "on";
  return true;
}

// The parameters that rPr reports, decoded and raw (as rPr writes them).
struct ParameterReading {
  std::array<uint8_t, 4> ip, mask, gateway;
  std::array<uint8_t, 6> mac;
  int16_t scale;
  uint8_t ajTemp, ajUmid;
};

std::string dotted(const std::array<uint8_t, 4>& bytes) {
  std::string out;
  for (size_t i = 0; i < 4; ++i) out += (i ? "." : "") + std::to_string(bytes[i]);
  return out;
}

template <size_t N>
std::string hexBytes(const std::array<uint8_t, N>& bytes, char separator) {
  std::string out;
  for (size_t i = 0; i < N; ++i) {
    if (i) out += separator;
    out += HexText(bytes[i], 2);
  }
  return out;
}

void appendParameters(std::ostringstream& out, const ParameterReading& p) {
  out << ",\"ip\":\"" << dotted(p.ip) << "\",\"ip_hex\":\"" << hexBytes(p.ip, '.') << "\""
      << ",\"mask\":\"" << dotted(p.mask) << "\",\"mask_hex\":\"" << hexBytes(p.mask, '.') << "\""
      << ",\"gateway\":\"" << dotted(p.gateway) << "\",\"gateway_hex\":\""
      << hexBytes(p.gateway, '.') << "\""
      << ",\"mac\":\"" << hexBytes(p.mac, ':') << "\""
      << ",\"scale\":" << p.scale << ",\"scale_hex\":\"" << HexText(p.scale, 2) << "\""
      << ",\"aj_temp\":" << static_cast<int>(p.ajTemp) << ",\"aj_temp_hex\":\""
      << HexText(p.ajTemp, 2) << "\""
      << ",\"aj_umid\":" << static_cast<int>(p.ajUmid) << ",\"aj_umid_hex\":\""
      << HexText(p.ajUmid, 2) << "\"";
}

}  // namespace

std::vector<std::string> UnitConsole::wordsOf(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  for (char ch : line) {
    if (ch == ' ' || ch == '\t' || ch == '\r') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += ch;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::string UnitConsole::helpText() {
  return "input N|NAME on|off|toggle; level bat|temp|umid VALUE; auto on|off; variant 110|130|150; "
         "battery 0|1|2; endpoint on|off; fault drop P | delay MS[:J] | corrupt P | off; "
         "scenario stop | start FILE; status [--json]";
}

std::string UnitConsole::execute(const std::vector<std::string>& w, bool& known) {
  known = true;
  const std::string& command = w[0];
  if (command == "status" && w.size() == 1) return status(false);
  if (command == "status" && w.size() == 2 && w[1] == "--json") return status(true);
  if (command == "input" && w.size() == 3) return input(w[1], w[2]);
  if (command == "level" && w.size() == 3) return level(w[1], w[2]);
  if (command == "fault" && w.size() >= 2) return fault(w);
  if (command == "scenario" && w.size() >= 2) return scenario(w);
  bool on = false;
  if (command == "auto" && w.size() == 2 && onOff(w[1], on)) {
    unit_.setAuto(on);
    return "ok auto " + w[1] + "\n";
  }
  if (command == "variant" && w.size() == 2) {
    const auto tag = variantFromCaption(w[1]);
    if (!tag) return error("variant takes 110, 130 or 150");
    unit_.setVariant(*tag);
    return "ok variant " + w[1] + "\n";
  }
  if (command == "battery" && w.size() == 2) {
    long item = 0;
    if (!parseInt(w[1], 0, 2, item)) return error("battery takes 0, 1 or 2");
    unit_.setBattery(static_cast<int>(item));
    static const char* const kRanges[3] = {"60 V", "120 V", "240 V"};
    return "ok battery " + w[1] + " (" + kRanges[item] + ")\n";
  }
  if (command == "endpoint" && w.size() == 2 && onOff(w[1], on)) {
    const Status s = unit_.setEndpointActive(on);
    if (!s.ok()) return error(oneLine(s.text()) + "; the endpoint stays off");
    return "ok endpoint " + w[1] + "\n";
  }
  known = false;
  return {};
}

std::string UnitConsole::input(const std::string& which, const std::string& how) {
  long bit = 0;
  if (const auto named = inputBitNamed(which)) {
    bit = *named;
  } else if (!parseInt(which, 0, 7, bit)) {
    return error(
        "input takes a bit from 0 to 7 or a name: presença (presenca), reset, rede, "
        "rede2, rede3, reserva5, reserva6, reserva7");
  }
  if (how != "on" && how != "off" && how != "toggle") return error("input takes on, off or toggle");
  const Unit::InputAction action = how == "on"    ? Unit::InputAction::On
                                   : how == "off" ? Unit::InputAction::Off
                                                  : Unit::InputAction::Toggle;
  if (!unit_.setInput(static_cast<int>(bit), action)) {
    return error("input 1 follows the reset countdown");
  }
  const bool set = BitIsSet(unit_.read().inputs, static_cast<int>(bit));
  return "ok input " + std::to_string(bit) + (set ? " on" : " off") + "\n";
}

std::string UnitConsole::level(const std::string& which, const std::string& value) {
  const int index = which == "bat" ? 0 : which == "temp" ? 1 : which == "umid" ? 2 : -1;
  long v = 0;
  if (index < 0) return error("level takes bat, temp or umid");
  if (!parseInt(value, -32768, 32767, v)) return error("level takes a whole number");
  // The slider's clamping and the temperature factor apply, as for a slider moved by hand.
  if (const std::string source = unit_.levelSource(index); !source.empty()) {
    return error("level " + which + " follows the " + source + "; scenario stop hands it back");
  }
  if (!unit_.enterLevel(index, static_cast<int>(v))) {
    return error("the sliders follow auto mode; switch it off first");
  }
  const int16_t now = unit_.read().nv[index];
  std::string answer = "ok level " + which + " " + std::to_string(now);
  if (now != v) answer += " (clamped from " + std::to_string(v) + ")";
  return answer + "\n";
}

std::string UnitConsole::fault(const std::vector<std::string>& w) {
  FaultSettings s = unit_.faults();
  if (w[1] == "off" && w.size() == 2) {
    s = FaultSettings{};
  } else if (w[1] == "drop" && w.size() == 3) {
    if (!parseProbability(w[2], s.dropProbability)) return error("fault drop takes 0..1");
  } else if (w[1] == "corrupt" && w.size() == 3) {
    if (!parseProbability(w[2], s.corruptProbability)) return error("fault corrupt takes 0..1");
  } else if (w[1] == "delay" && w.size() == 3) {
    if (!parseDelay(w[2], s.delayMs, s.delayJitterMs)) {
      return error("fault delay takes MS or MS:JITTER");
    }
  } else {
    return error("fault takes drop P, delay MS[:J], corrupt P or off");
  }
  unit_.setFaults(s);
  const FaultSettings now = unit_.faults();
  if (!now.any()) return "ok fault off\n";
  std::ostringstream out;
  out << "ok fault drop " << now.dropProbability << " delay " << now.delayMs << ":"
      << now.delayJitterMs << " corrupt " << now.corruptProbability << "\n";
  return out.str();
}

std::string UnitConsole::scenario(const std::vector<std::string>& w) {
  UnitScenario& scenario = unit_.scenario();
  if (w[1] == "stop" && w.size() == 2) {
    if (!scenario.running()) return error("no scenario runs");
    scenario.stop();
    const std::string& file = scenario.file();
    return "ok scenario stop" + (file.empty() ? "" : " " + oneLine(file)) + "\n";
  }
  if (w[1] == "start" && w.size() == 3) {
    const ScenarioLoad load = loadScenarioFile(w[2]);
    if (!load.ok()) return error(oneLine(load.error));
    scenario.start(load.scenario, w[2], scenario.options(), UnitScenario::Clock::now());
    return "ok scenario start " + oneLine(w[2]) + "\n";
  }
  return error("scenario takes stop, or start FILE");
}

std::string UnitConsole::status(bool json) {
  const Unit::Reading r = unit_.read();
  const ParameterReading parameters = unit_.state().locked([](const DeviceData& d) {
    const DeviceConfig& c = d.config;
    return ParameterReading{c.Ip,        c.Mask,       c.Gateway,   c.Mac,
                            d.WorkScale, d.WorkAjTemp, d.WorkAjUmid};
  });
  std::string inputs;
  for (int bit = 7; bit >= 0; --bit) inputs += BitIsSet(r.inputs, bit) ? '1' : '0';
  const bool active = unit_.endpointActive();
  const uint64_t handled = unit_.counters().datagrams.load();
  const uint64_t queueDropped = unit_.counters().delayOverflow.load();
  const uint64_t unanswered = unit_.linesUnanswered();
  const int battery = unit_.battery();
  const std::string texts[3] = {batteryText(r.nv[0], battery), std::to_string(r.nv[1]),
                                std::to_string(r.nv[2])};
  const auto faults = unit_.faultCounts();  // dropped, delayed, corrupted
  const char* names[3] = {"bat", "temp", "umid"};
  // What sets each level, in the API's words: "operator" (by hand or auto mode, which `auto`
  // tells apart) or the scenario that drives it ("scenario sine").
  std::string sources[3];
  for (int i = 0; i < 3; ++i) {
    sources[i] = unit_.levelSource(i);
    if (sources[i].empty()) sources[i] = "operator";
  }
  const ScenarioRunner* runner = unit_.scenario().runner();
  const double scenarioTime = runner ? runner->scenarioTime(ScenarioRunner::Clock::now()) : 0;
  std::ostringstream out;
  if (json) {
    out << "{\"endpoint\":" << (active ? "true" : "false")
        << ",\"variant\":" << variantCaption(r.variant) << ",\"inputs\":\"" << inputs << "\""
        << ",\"inputs_value\":" << (r.inputs & 0xFF);
    for (int i = 0; i < 3; ++i) {
      out << ",\"" << names[i] << "\":" << r.nv[i] << ",\"" << names[i]
          << "_text\":" << jsonText(texts[i]);
    }
    out << ",\"auto\":" << (r.autoMode ? "true" : "false") << ",\"battery\":" << battery
        << ",\"reset\":" << r.countdown << ",\"token\":" << r.token;
    appendParameters(out, parameters);
    out << ",\"datagrams\":" << handled << ",\"dropped\":" << faults[0]
        << ",\"delayed\":" << faults[1] << ",\"corrupted\":" << faults[2]
        << ",\"delay_overflow\":" << queueDropped << ",\"unanswered\":" << unanswered;
    for (int i = 0; i < 3; ++i) out << ",\"" << names[i] << "_source\":" << jsonText(sources[i]);
    out << ",\"scenario\":";
    if (runner) {
      out << "{\"file\":" << jsonText(unit_.scenario().file())
          << ",\"name\":" << jsonText(runner->scenario().name) << ",\"time\":" << scenarioTime
          << ",\"time_factor\":" << runner->timeFactor() << ",\"seed\":" << runner->seed() << "}";
    } else {
      out << "null";
    }
    out << "}\n";
  } else {
    out << "endpoint=" << (active ? "on" : "off") << " variant=" << variantCaption(r.variant)
        << " inputs=" << inputs;
    for (int i = 0; i < 3; ++i)
      out << " " << names[i] << "=" << r.nv[i] << " " << names[i] << "_text=" << texts[i];
    out << " auto=" << (r.autoMode ? "on" : "off") << " battery=" << battery
        << " reset=" << r.countdown << " token=" << r.token << " datagrams=" << handled
        << " dropped=" << faults[0] << " delayed=" << faults[1] << " corrupted=" << faults[2]
        << " delay_overflow=" << queueDropped << " unanswered=" << unanswered;
    // A source with a space is quoted (it holds no quote); the file is one word, spaces
    // become '?'.
    for (int i = 0; i < 3; ++i) {
      const bool spaced = sources[i].find(' ') != std::string::npos;
      out << " " << names[i] << "_source=" << (spaced ? "\"" + sources[i] + "\"" : sources[i]);
    }
    if (runner) {
      std::string file = oneLine(unit_.scenario().file());
      for (char& c : file) c = c == ' ' ? '?' : c;
      out << " scenario=" << file << " scenario_time=" << scenarioTime;
    } else {
      out << " scenario=none";
    }
    out << "\n";
  }
  return out.str();
}

}  // namespace vexa
