#include "scenario_loader.h"

#include <cstdio>
#include <optional>
#include <string>

#include "input_names.h"
#include "json_document.h"
#include "json_fields.h"

namespace vexa {

namespace {

using nlohmann::json;

std::string show(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// A time in seconds: 0..kMaxScenarioTime, or above 0 when `positive`.
bool timeField(JsonObject& o, const char* key, double& out, bool required, bool positive = false) {
  const bool given = o.has(key);
  if (!o.number(key, out, required) || !given) return o.ok();
  if (positive && out <= 0) return o.fail(key, "must be > 0");
  if (out < 0) return o.fail(key, "must be >= 0");
  if (out > kMaxScenarioTime) return o.fail(key, "must be at most " + show(kMaxScenarioTime));
  return true;
}

// A level value within what the slider operation can give the level.
bool levelValue(JsonObject& o, const char* key, double& out, const LevelInfo& info) {
  if (!o.number(key, out)) return false;
  if (out < info.min || out > info.max) {
    return o.fail(key,
                  "must be within " + std::to_string(info.min) + ".." + std::to_string(info.max));
  }
  return true;
}

bool probability(JsonObject& o, const char* key, double& out) {
  if (!o.number(key, out, false)) return false;
  if (out < 0 || out > 1) return o.fail(key, "must be within 0..1");
  return true;
}

std::optional<LevelGenerator> parseRamp(JsonObject& o, const LevelInfo& info) {
  RampLevel r;
  std::string then = "hold";
  if (!o.only({"kind", "from", "to", "over", "at", "then"}) ||
      !levelValue(o, "from", r.from, info) || !levelValue(o, "to", r.to, info) ||
      !timeField(o, "over", r.over, true, true) || !timeField(o, "at", r.at, false) ||
      !o.text("then", then, false)) {
    return std::nullopt;
  }
  if (then == "hold") {
    r.then = RampLevel::Then::kHold;
  } else if (then == "repeat") {
    r.then = RampLevel::Then::kRepeat;
  } else if (then == "reverse") {
    r.then = RampLevel::Then::kReverse;
  } else {
    o.fail("then", "must be hold, repeat or reverse");
    return std::nullopt;
  }
  return r;
}

std::optional<LevelGenerator> parseSine(JsonObject& o, const LevelInfo& info) {
  SineLevel s;
  if (!o.only({"kind", "mean", "amplitude", "period", "phase"}) ||
      !levelValue(o, "mean", s.mean, info) || !o.number("amplitude", s.amplitude) ||
      !timeField(o, "period", s.period, true, true) || !o.number("phase", s.phaseDegrees, false)) {
    return std::nullopt;
  }
  if (s.amplitude < 0) {
    o.fail("amplitude", "must be >= 0");
  } else if (s.mean - s.amplitude < info.min || s.mean + s.amplitude > info.max) {
    o.fail("amplitude", "mean - amplitude .. mean + amplitude must stay within " +
                            std::to_string(info.min) + ".." + std::to_string(info.max));
  } else if (s.phaseDegrees < -360 || s.phaseDegrees > 360) {
    o.fail("phase", "must be within -360..360 (degrees)");
  }
  if (!o.ok()) return std::nullopt;
  return s;
}

std::optional<LevelGenerator> parseWalk(JsonObject& o, const LevelInfo& info) {
  WalkLevel w;
  if (!o.only({"kind", "start", "step", "interval", "min", "max"}) ||
      !levelValue(o, "min", w.min, info) || !levelValue(o, "max", w.max, info) ||
      !levelValue(o, "start", w.start, info) || !o.number("step", w.step) ||
      !timeField(o, "interval", w.interval, false, true)) {
    return std::nullopt;
  }
  if (w.max < w.min) {
    o.fail("max", "must be >= min");
  } else if (w.start < w.min || w.start > w.max) {
    o.fail("start", "must be within min..max");
  } else if (w.step <= 0) {
    o.fail("step", "must be > 0");
  } else if (w.interval < kMinWalkInterval) {
    o.fail("interval", "must be at least " + show(kMinWalkInterval));
  }
  if (!o.ok()) return std::nullopt;
  return w;
}

std::optional<LevelGenerator> parseSteps(JsonObject& o, const LevelInfo& info, JsonErrors& errors) {
  if (!o.only({"kind", "steps"}) || !o.require("steps")) return std::nullopt;
  const json& list = o.at("steps");
  if (!list.is_array() || list.empty() || list.size() > kMaxScenarioList) {
    o.fail("steps", "must be a list of 1.." + std::to_string(kMaxScenarioList) + " steps");
    return std::nullopt;
  }
  StepsLevel s;
  for (size_t i = 0; i < list.size(); ++i) {
    JsonObject step(list[i], o.path("steps") + "[" + std::to_string(i) + "]", errors);
    StepsLevel::Step entry{};
    if (!step.only({"at", "value"}) || !timeField(step, "at", entry.at, true) ||
        !levelValue(step, "value", entry.value, info)) {
      return std::nullopt;
    }
    if (!s.steps.empty() && entry.at <= s.steps.back().at) {
      step.fail("at", "must be later than the previous step's");
      return std::nullopt;
    }
    s.steps.push_back(entry);
  }
  return s;
}

std::optional<LevelGenerator> parseLevel(const json& value, const std::string& path,
                                         const LevelInfo& info, JsonErrors& errors) {
  JsonObject o(value, path, errors);
  std::string kind;
  if (!o.text("kind", kind)) return std::nullopt;
  if (kind == "constant") {
    ConstantLevel c;
    if (!o.only({"kind", "value"}) || !levelValue(o, "value", c.value, info)) return std::nullopt;
    return c;
  }
  if (kind == "ramp") return parseRamp(o, info);
  if (kind == "sine") return parseSine(o, info);
  if (kind == "walk") return parseWalk(o, info);
  if (kind == "steps") return parseSteps(o, info, errors);
  o.fail("kind", "must be constant, ramp, sine, walk or steps");
  return std::nullopt;
}

bool parseLevels(JsonObject& top, Scenario& scenario, JsonErrors& errors) {
  if (!top.has("levels")) return top.ok();
  JsonObject levels(top.at("levels"), "levels", errors);
  if (!levels.only({"bat", "temp", "umid"})) return false;
  for (int level = 0; level < kLevelCount; ++level) {
    const LevelInfo& info = kLevelInfo[level];
    if (!levels.has(info.name)) continue;
    scenario.levels[level] = parseLevel(levels.at(info.name), levels.path(info.name), info, errors);
    if (!scenario.levels[level]) return false;
  }
  return true;
}

// The schedule fields shared by every event: "at" (a time or a list of times), "every",
// "until", "jitter", and the duration "for" when `withDuration`.
bool parseSchedule(JsonObject& o, TimedEvent& event, bool withDuration, JsonErrors& errors) {
  Schedule& s = event.schedule;
  if (withDuration && !timeField(o, "for", event.duration, true, true)) return false;
  if (!timeField(o, "every", s.every, false, true) || !timeField(o, "jitter", s.jitter, false)) {
    return false;
  }
  if (o.has("every") && s.every < kMinEvery) {
    return o.fail("every", "must be at least " + show(kMinEvery));
  }
  const bool periodic = o.has("every");
  if (!periodic && o.has("until")) return o.fail("until", "only with every");
  if (periodic && !timeField(o, "until", s.until, false)) return false;
  if (o.has("at") && o.at("at").is_array()) {
    if (periodic) return o.fail("at", "must be one time with every");
    const json& list = o.at("at");
    if (list.empty() || list.size() > kMaxScenarioList) {
      return o.fail(
          "at", "must be a time or a list of 1.." + std::to_string(kMaxScenarioList) + " times");
    }
    for (size_t i = 0; i < list.size(); ++i) {
      const std::string path = o.path("at") + "[" + std::to_string(i) + "]";
      if (!list[i].is_number()) return errors.fail(path, "must be a number");
      const double t = list[i].get<double>();
      if (t < 0 || t > kMaxScenarioTime) {
        return errors.fail(path, "must be within 0.." + show(kMaxScenarioTime));
      }
      if (!s.times.empty() && t < s.times.back() + event.duration + s.jitter) {
        return errors.fail(path, "must be at least for + jitter after the previous time");
      }
      s.times.push_back(t);
    }
    return true;
  }
  double at = 0;
  if (!timeField(o, "at", at, !periodic)) return false;
  if (periodic) {
    s.at = at;
    if (event.duration + s.jitter > s.every)
      return o.fail("every", "must be at least for + jitter");
    if (o.has("until") && s.until <= s.at) return o.fail("until", "must be later than at");
  } else {
    s.times.push_back(at);
  }
  return true;
}

// The input bit: 0 or 2..7, by number or by name (input_names.h).
bool parseInputBit(JsonObject& o, int& bit) {
  if (!o.require("input")) return false;
  const json& v = o.at("input");
  std::optional<int64_t> n;
  if (v.is_string()) {
    if (const auto named = inputBitNamed(v.get<std::string>())) n = *named;
  } else if (v.is_number_integer()) {
    n = v.get<int64_t>();
  }
  if (n == 1) return o.fail("input", "bit 1 follows the reset countdown; use a reset event");
  if (n && *n >= 0 && *n <= 7) {
    bit = static_cast<int>(*n);
    return true;
  }
  return o.fail("input",
                "must be 0 or 2..7, or presença (presenca), rede, rede2, rede3, reserva5, "
                "reserva6 or reserva7");
}

bool parseInputEvent(const json& value, const std::string& path, Scenario& scenario,
                     JsonErrors& errors) {
  JsonObject o(value, path, errors);
  std::string kind;
  if (!o.text("kind", kind)) return false;
  InputEvent input;
  TimedEvent event;
  if (kind == "set") {
    input.kind = InputEvent::Kind::kSet;
  } else if (kind == "clear") {
    input.kind = InputEvent::Kind::kClear;
  } else if (kind == "pulse") {
    input.kind = InputEvent::Kind::kPulse;
  } else if (kind == "toggle") {
    input.kind = InputEvent::Kind::kToggle;
  } else {
    return o.fail("kind", "must be set, clear, pulse or toggle");
  }
  const bool pulse = input.kind == InputEvent::Kind::kPulse;
  const bool toggle = input.kind == InputEvent::Kind::kToggle;
  const bool allowed = pulse ? o.only({"kind", "input", "at", "every", "until", "jitter", "for"})
                       : toggle
                           ? o.only({"kind", "input", "at", "every", "until", "jitter", "first"})
                           : o.only({"kind", "input", "at", "every", "until", "jitter"});
  if (!allowed || !parseInputBit(o, input.bit) || !o.boolean("first", input.firstOn, false) ||
      !parseSchedule(o, event, pulse, errors)) {
    return false;
  }
  event.action = input;
  scenario.events.push_back(std::move(event));
  return true;
}

bool parseUnitEvent(const json& value, const std::string& path, Scenario& scenario,
                    JsonErrors& errors) {
  JsonObject o(value, path, errors);
  std::string kind;
  if (!o.text("kind", kind)) return false;
  TimedEvent event;
  if (kind == "endpoint_off") {
    if (!o.only({"kind", "at", "every", "until", "jitter", "for"}) ||
        !parseSchedule(o, event, true, errors)) {
      return false;
    }
    event.action = EndpointOffEvent{};
  } else if (kind == "faults") {
    FaultsEvent f;
    int64_t delay = 0, jitter = 0;
    if (!o.only({"kind", "at", "every", "until", "jitter", "for", "drop", "delay_ms",
                 "delay_jitter_ms", "corrupt"}) ||
        !parseSchedule(o, event, true, errors) || !probability(o, "drop", f.drop) ||
        !probability(o, "corrupt", f.corrupt) || !o.integer("delay_ms", delay, 0, 600000, false) ||
        !o.integer("delay_jitter_ms", jitter, 0, 600000, false)) {
      return false;
    }
    f.delayMs = static_cast<int>(delay);
    f.delayJitterMs = static_cast<int>(jitter);
    event.action = f;
  } else if (kind == "reset") {
    int64_t seconds = 0;
    if (!o.only({"kind", "at", "every", "until", "jitter", "seconds"}) ||
        !parseSchedule(o, event, false, errors) || !o.integer("seconds", seconds, 1, 999)) {
      return false;
    }
    event.action = ResetEvent{static_cast<int>(seconds)};
  } else {
    return o.fail("kind", "must be endpoint_off, faults or reset");
  }
  scenario.events.push_back(std::move(event));
  return true;
}

template <class Parse>
bool parseEventList(JsonObject& top, const char* key, Scenario& scenario, JsonErrors& errors,
                    Parse parse) {
  if (!top.has(key)) return top.ok();
  const json& list = top.at(key);
  if (!list.is_array() || list.size() > kMaxScenarioEvents) {
    return top.fail(key,
                    "must be a list of at most " + std::to_string(kMaxScenarioEvents) + " events");
  }
  for (size_t i = 0; i < list.size(); ++i) {
    if (!parse(list[i], std::string(key) + "[" + std::to_string(i) + "]", scenario, errors)) {
      return false;
    }
  }
  return true;
}

}  // namespace

ScenarioLoad parseScenario(std::string_view text) {
  json root;
  JsonErrors errors;
  if (!parseJsonDocument(text, root, errors)) return {nullptr, errors.text()};
  auto scenario = std::make_shared<Scenario>();
  JsonObject top(root, "", errors);
  if (top.only({"name", "seed", "time_factor", "levels", "inputs", "unit"}) &&
      top.text("name", scenario->name, false) &&
      top.unsignedInteger("seed", scenario->seed, false) &&
      top.number("time_factor", scenario->timeFactor, false)) {
    if (!validTimeFactor(scenario->timeFactor)) {
      top.fail("time_factor",
               "must be within " + show(kMinTimeFactor) + ".." + show(kMaxTimeFactor));
    }
  }
  if (top.ok() && parseLevels(top, *scenario, errors) &&
      parseEventList(top, "inputs", *scenario, errors, parseInputEvent)) {
    parseEventList(top, "unit", *scenario, errors, parseUnitEvent);
  }
  if (errors.failed()) return {nullptr, errors.text()};
  return {std::move(scenario), {}};
}

}  // namespace vexa
