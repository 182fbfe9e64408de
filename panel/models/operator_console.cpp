#include "operator_console.h"

#include <charconv>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "bits.h"
#include "pad_zeros.h"
#include "reply_framing.h"
#include "rounding.h"
#include "text_format.h"

namespace vexa {

namespace {

std::vector<std::string> wordsOf(std::string_view line) {
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

bool parseInt(const std::string& text, long min, long max, long& out) {
  if (text.empty()) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
  return r.ec == std::errc() && r.ptr == text.data() + text.size() && out >= min && out <= max;
}

std::string error(const std::string& what) {
  return "error: " + what + "\n";
}

// "on"/"off" to a flag; false when it is neither.
bool onOff(const std::string& word, bool& on) {
  if (word != "on" && word != "off") return false;
  on = word == "on";
  return true;
}

}  // namespace

OperatorConsole::OperatorConsole(Context context) : c_(std::move(context)) {}

std::string OperatorConsole::helpText() {
  return "ok commands: input N on|off|toggle; level bat|temp|umid VALUE; auto on|off; "
         "variant 110|130|150; battery 0|1|2; endpoint on|off; "
         "fault drop P | delay MS[:J] | corrupt P | off; status [--json]; help; "
         "quit [--force]\n";
}

std::string OperatorConsole::execute(std::string_view line) {
  const std::vector<std::string> w = wordsOf(line);
  if (w.empty()) return {};
  const std::string& command = w[0];
  if (command == "help" && w.size() == 1) return helpText();
  if (command == "quit" && (w.size() == 1 || (w.size() == 2 && w[1] == "--force"))) {
    return c_.quit ? c_.quit(w.size() == 2) : error("quit is not available here");
  }
  if (command == "status" && w.size() == 1) return status(false);
  if (command == "status" && w.size() == 2 && w[1] == "--json") return status(true);
  if (command == "input" && w.size() == 3) return input(w[1], w[2]);
  if (command == "level" && w.size() == 3) return level(w[1], w[2]);
  if (command == "fault" && w.size() >= 2) return fault(w);
  bool on = false;
  if (command == "auto" && w.size() == 2 && onOff(w[1], on)) {
    c_.view.setAutoChecked(on);
    c_.presenter.cbAutClick();
    return "ok auto " + w[1] + "\n";
  }
  if (command == "variant" && w.size() == 2) {
    const auto tag = variantFromCaption(w[1]);
    if (!tag) return error("variant takes 110, 130 or 150");
    c_.view.setVariantButtonDown(*tag);
    c_.presenter.sbCodClick(*tag);
    return "ok variant " + w[1] + "\n";
  }
  if (command == "battery" && w.size() == 2) {
    long item = 0;
    if (!parseInt(w[1], 0, 2, item)) return error("battery takes 0, 1 or 2");
    c_.view.setBatteryItem(static_cast<int>(item));
    static const char* const kRanges[3] = {"60 V", "120 V", "240 V"};
    return "ok battery " + w[1] + " (" + kRanges[item] + ")\n";
  }
  if (command == "endpoint" && w.size() == 2 && onOff(w[1], on)) {
    c_.view.setEndpointChecked(on);  // a change runs the switch's click handler
    const bool active = c_.endpointActive ? c_.endpointActive() : on;
    if (active != on) return error("the endpoint could not be switched on; it stays off");
    return "ok endpoint " + w[1] + "\n";
  }
  return error("unknown or malformed command \"" + std::string(line) + "\" (try help)");
}

std::string OperatorConsole::input(const std::string& which, const std::string& how) {
  long bit = 0;
  if (!parseInt(which, 0, 7, bit)) return error("input takes a bit number from 0 to 7");
  if (how != "on" && how != "off" && how != "toggle") return error("input takes on, off or toggle");
  const std::string name = "Ld" + PadZeros(static_cast<int32_t>(bit), 2);
  LedModel* led = c_.view.findLed(name);
  if (!led || !led->enabled()) return error("input 1 follows the reset countdown");
  auto isSet = [&] {
    return c_.state.locked(
        [&](const DeviceData& d) { return BitIsSet(d.live.InputFlags(), static_cast<int>(bit)); });
  };
  if (how == "toggle" || (how == "on") != isSet()) c_.presenter.LdClick(name);
  return "ok input " + std::to_string(bit) + (isSet() ? " on" : " off") + "\n";
}

std::string OperatorConsole::level(const std::string& which, const std::string& value) {
  const int index = which == "bat" ? 0 : which == "temp" ? 1 : which == "umid" ? 2 : -1;
  long v = 0;
  if (index < 0) return error("level takes bat, temp or umid");
  if (!parseInt(value, -32768, 32767, v)) return error("level takes a whole number");
  if (c_.view.autoChecked()) return error("the sliders follow auto mode; switch it off first");
  // The slider's clamping and the temperature factor apply, as for a slider moved by hand.
  const int position = index == 1 ? static_cast<int>(roundHalfEvenTimes15(v)) : static_cast<int>(v);
  SliderModel& slider = c_.view.slider(index);
  const int before = slider.Value();
  slider.setValue(position);
  // A slider already at that position raises no change; the level is still set to it, so the
  // level reads what was asked (within the slider's range) whatever it held before.
  if (slider.Value() == before) c_.presenter.sliderChange(index, slider.Value());
  const int16_t now = c_.state.locked([&](const DeviceData& d) { return d.live.Nv(index); });
  std::string answer = "ok level " + which + " " + std::to_string(now);
  if (now != v) answer += " (clamped from " + std::to_string(v) + ")";
  return answer + "\n";
}

std::string OperatorConsole::fault(const std::vector<std::string>& w) {
  FaultSettings s = c_.faults.settings();
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
  c_.faults.configure(s);
  return "ok " + faultText() + "\n";
}

std::string OperatorConsole::faultText() const {
  const FaultSettings s = c_.faults.settings();
  if (!s.any()) return "fault off";
  std::ostringstream out;
  out << "fault drop " << s.dropProbability << " delay " << s.delayMs << ":" << s.delayJitterMs
      << " corrupt " << s.corruptProbability;
  return out.str();
}

namespace {
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

std::string OperatorConsole::status(bool json) const {
  struct Reading {
    uint16_t flags;
    int16_t nv[3];
    int32_t variant, countdown;
    uint16_t token;
    bool autoMode;
    ParameterReading parameters;
  };
  const Reading r = c_.state.locked([](const DeviceData& d) {
    const DeviceConfig& c = d.config;
    return Reading{d.live.InputFlags(),
                   {d.live.Nv(0), d.live.Nv(1), d.live.Nv(2)},
                   d.VariantCode,
                   d.ResetCountdown,
                   d.TickToken,
                   d.AutoMode,
                   {c.Ip, c.Mask, c.Gateway, c.Mac, d.WorkScale, d.WorkAjTemp, d.WorkAjUmid}};
  });
  std::string inputs;
  for (int bit = 7; bit >= 0; --bit) inputs += BitIsSet(r.flags, bit) ? '1' : '0';
  const bool active = c_.endpointActive ? c_.endpointActive() : false;
  const uint64_t handled = c_.datagramsHandled ? c_.datagramsHandled() : 0;
  const uint64_t queueDropped = c_.delayedRepliesDropped ? c_.delayedRepliesDropped() : 0;
  const uint64_t unanswered = c_.linesUnanswered ? c_.linesUnanswered() : 0;
  const std::string texts[3] = {c_.view.text(PanelText::stNv00), c_.view.text(PanelText::stNv01),
                                c_.view.text(PanelText::stNv02)};
  const char* names[3] = {"bat", "temp", "umid"};
  std::ostringstream out;
  if (json) {
    out << "{\"endpoint\":" << (active ? "true" : "false")
        << ",\"variant\":" << variantCaption(r.variant) << ",\"inputs\":\"" << inputs << "\""
        << ",\"inputs_value\":" << (r.flags & 0xFF);
    for (int i = 0; i < 3; ++i) {
      out << ",\"" << names[i] << "\":" << r.nv[i] << ",\"" << names[i]
          << "_text\":" << jsonText(texts[i]);
    }
    out << ",\"auto\":" << (r.autoMode ? "true" : "false")
        << ",\"battery\":" << c_.view.batteryItem() << ",\"reset\":" << r.countdown
        << ",\"token\":" << r.token;
    appendParameters(out, r.parameters);
    out << ",\"datagrams\":" << handled << ",\"dropped\":" << c_.faults.dropped()
        << ",\"delayed\":" << c_.faults.delayed() << ",\"corrupted\":" << c_.faults.corrupted()
        << ",\"delay_overflow\":" << queueDropped << ",\"unanswered\":" << unanswered << "}\n";
  } else {
    out << "endpoint=" << (active ? "on" : "off") << " variant=" << variantCaption(r.variant)
        << " inputs=" << inputs;
    for (int i = 0; i < 3; ++i)
      out << " " << names[i] << "=" << r.nv[i] << " " << names[i] << "_text=" << texts[i];
    out << " auto=" << (r.autoMode ? "on" : "off") << " battery=" << c_.view.batteryItem()
        << " reset=" << r.countdown << " token=" << r.token << " datagrams=" << handled
        << " dropped=" << c_.faults.dropped() << " delayed=" << c_.faults.delayed()
        << " corrupted=" << c_.faults.corrupted() << " delay_overflow=" << queueDropped
        << " unanswered=" << unanswered << "\n";
  }
  return out.str();
}

}  // namespace vexa
