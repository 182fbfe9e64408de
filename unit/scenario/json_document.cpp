#include "json_document.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace vexa {

namespace {

using nlohmann::json;

// Where the parser is: one frame per open object or array.
struct Frame {
  bool array = false;
  size_t index = 0;  // array: the element being read
  std::string key;   // object: the field being read
  std::unordered_set<std::string> keys;
};

// The path of field `key` of the innermost object.
std::string fieldPath(const std::vector<Frame>& frames, const std::string& key) {
  std::string path;
  const auto member = [&path](const std::string& name) {
    if (!path.empty()) path += '.';
    path += name;
  };
  for (size_t i = 0; i + 1 < frames.size(); ++i) {
    if (frames[i].array) {
      path += '[';
      path += std::to_string(frames[i].index);
      path += ']';
    } else {
      member(frames[i].key);
    }
  }
  member(key);
  return path;
}

// The path of the value being read: the innermost object's field or array's element.
std::string valuePath(const std::vector<Frame>& frames) {
  std::string path;
  for (const Frame& frame : frames) {
    if (frame.array) {
      path += '[' + std::to_string(frame.index) + ']';
    } else {
      if (!path.empty()) path += '.';
      path += frame.key;
    }
  }
  return path;
}

}  // namespace

bool parseJsonDocument(std::string_view text, json& out, JsonErrors& errors) {
  std::vector<Frame> frames;
  std::string duplicate;
  const json::parser_callback_t watch = [&](int, json::parse_event_t event, json& parsed) {
    switch (event) {
      case json::parse_event_t::object_start:
      case json::parse_event_t::array_start:
        frames.push_back(Frame{event == json::parse_event_t::array_start, 0, {}, {}});
        break;
      case json::parse_event_t::key:
        frames.back().key = parsed.get<std::string>();
        if (!frames.back().keys.insert(frames.back().key).second && duplicate.empty()) {
          duplicate = fieldPath(frames, frames.back().key);
        }
        break;
      case json::parse_event_t::object_end:
      case json::parse_event_t::array_end:
        frames.pop_back();
        if (!frames.empty() && frames.back().array) ++frames.back().index;
        break;
      case json::parse_event_t::value:
        if (!frames.empty() && frames.back().array) ++frames.back().index;
        break;
    }
    return true;
  };
  try {
    out = json::parse(text.begin(), text.end(), watch);
  } catch (const json::parse_error& e) {
    const std::string message = e.what();
    const auto at = message.find("line ");
    errors.failText(at == std::string::npos ? message : message.substr(at));
    return false;
  } catch (const json::out_of_range&) {
    // A number beyond any double (1e400): the parser stops at it.
    const std::string path = valuePath(frames);
    if (path.empty()) return errors.failText("a number too large for any field");
    return errors.fail(path, "a number too large for any field");
  }
  if (!duplicate.empty()) return errors.fail(duplicate, "duplicate field");
  return true;
}

}  // namespace vexa
