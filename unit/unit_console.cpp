#include "unit_console.h"

#include <charconv>
#include <sstream>

#include "bits.h"
#include "number_format.h"
#include "reply_framing.h"
#include "text_format.h"

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

std::string UnitConsole::helpLines() {
  return "  input N on|off|toggle       input bit N (0..7; 1 follows the reset countdown)\n"
         "  level bat|temp|umid VALUE   move a level's slider to VALUE (manual mode)\n"
         "  auto on|off                 random levels every 2 s\n"
         "  variant 110|130|150         protocol variant\n"
         "  battery 0|1|2               battery range: 60 V, 120 V, 240 V\n"
         "  endpoint on|off             the UDP endpoint switch\n"
         "  fault drop P | delay MS[:J] | corrupt P | off\n"
         "  status [--json]             one line of the simulator's state\n";
}

std::string UnitConsole::execute(const std::vector<std::string>& w, bool& known) {
  known = true;
  const std::string& command = w[0];
  if (command == "status" && w.size() == 1) return status(false);
  if (command == "status" && w.size() == 2 && w[1] == "--json") return status(true);
  if (command == "input" && w.size() == 3) return input(w[1], w[2]);
  if (command == "level" && w.size() == 3) return level(w[1], w[2]);
  if (command == "fault" && w.size() >= 2) return fault(w);
  bool on = false;
  if (command == "auto" && w.size() == 2 && onOff(w[1], on)) {
    unit_.setAuto(on);
    return {};
  }
  if (command == "variant" && w.size() == 2) {
    const auto tag = variantFromCaption(w[1]);
    if (!tag) return error("variant takes 110, 130 or 150");
    unit_.setVariant(*tag);
    return {};
  }
  if (command == "battery" && w.size() == 2) {
    long item = 0;
    if (!parseInt(w[1], 0, 2, item)) return error("battery takes 0, 1 or 2");
    unit_.setBattery(static_cast<int>(item));
    return {};
  }
  if (command == "endpoint" && w.size() == 2 && onOff(w[1], on)) {
    const Status s = unit_.setEndpointActive(on);
    if (!s.ok()) {
      std::string text = s.text();
      for (char& c : text) c = c == '\r' || c == '\n' ? ' ' : c;
      return error(text);
    }
    return {};
  }
  known = false;
  return {};
}

std::string UnitConsole::input(const std::string& which, const std::string& how) {
  long bit = 0;
  if (!parseInt(which, 0, 7, bit)) return error("input takes a bit number from 0 to 7");
  if (how != "on" && how != "off" && how != "toggle") return error("input takes on, off or toggle");
  const Unit::InputAction action = how == "on"    ? Unit::InputAction::On
                                   : how == "off" ? Unit::InputAction::Off
                                                  : Unit::InputAction::Toggle;
  if (!unit_.setInput(static_cast<int>(bit), action)) {
    return error("input 1 follows the reset countdown");
  }
  return {};
}

std::string UnitConsole::level(const std::string& which, const std::string& value) {
  const int index = which == "bat" ? 0 : which == "temp" ? 1 : which == "umid" ? 2 : -1;
  long v = 0;
  if (index < 0) return error("level takes bat, temp or umid");
  if (!parseInt(value, -32768, 32767, v)) return error("level takes a whole number");
  // The slider's clamping and the temperature factor apply, as for a slider moved by hand.
  if (!unit_.setLevel(index, static_cast<int>(v))) {
    return error("the sliders follow auto mode; switch it off first");
  }
  return {};
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
  return {};
}

std::string UnitConsole::status(bool json) {
  const Unit::Reading r = unit_.read();
  std::string inputs;
  for (int bit = 7; bit >= 0; --bit) inputs += BitIsSet(r.inputs, bit) ? '1' : '0';
  const bool active = unit_.endpointActive();
  const uint64_t handled = unit_.counters().datagrams.load();
  const int battery = unit_.battery();
  const std::string texts[3] = {batteryText(r.nv[0], battery), std::to_string(r.nv[1]),
                                std::to_string(r.nv[2])};
  const auto faults = unit_.faultCounts();  // dropped, delayed, corrupted
  const char* names[3] = {"bat", "temp", "umid"};
  std::ostringstream out;
  if (json) {
    out << "{\"endpoint\":" << (active ? "true" : "false")
        << ",\"variant\":" << variantCaption(r.variant) << ",\"inputs\":\"" << inputs << "\"";
    for (int i = 0; i < 3; ++i) {
      out << ",\"" << names[i] << "\":" << r.nv[i] << ",\"" << names[i]
          << "_text\":" << jsonText(texts[i]);
    }
    out << ",\"auto\":" << (r.autoMode ? "true" : "false") << ",\"battery\":" << battery
        << ",\"reset\":" << r.countdown << ",\"token\":" << r.token << ",\"datagrams\":" << handled
        << ",\"dropped\":" << faults[0] << ",\"delayed\":" << faults[1]
        << ",\"corrupted\":" << faults[2] << "}\n";
  } else {
    out << "endpoint=" << (active ? "on" : "off") << " variant=" << variantCaption(r.variant)
        << " inputs=" << inputs;
    for (int i = 0; i < 3; ++i)
      out << " " << names[i] << "=" << r.nv[i] << " " << names[i] << "_text=" << texts[i];
    out << " auto=" << (r.autoMode ? "on" : "off") << " battery=" << battery
        << " reset=" << r.countdown << " token=" << r.token << " datagrams=" << handled
        << " dropped=" << faults[0] << " delayed=" << faults[1] << " corrupted=" << faults[2]
        << "\n";
  }
  return out.str();
}

}  // namespace vexa
