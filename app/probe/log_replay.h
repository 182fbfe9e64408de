#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vexa {

// One request datagram of a traffic log with the reply bodies logged after it.
struct LoggedExchange {
  std::vector<std::string> lines;   // the request lines that were answered, in order
  std::vector<std::string> bodies;  // their logged reply bodies
};

// Reads a traffic log written with "/L": entries "dd/mm/yyyy hh:nn:ss - text" ended by CR LF,
// a text that held CR LF continuing on lines without a timestamp. A request entry is followed
// by one body entry per answered line, each starting with the line's command and echo fields.
std::vector<LoggedExchange> parseTrafficLog(std::string_view log);

// Whether a reply body matches the logged one: letter case is ignored in variants 130 and 150
// (they upper-case the body); in snd replies the live values and the token are compared by
// shape only.
bool bodiesMatch(std::string_view logged, std::string_view replied, bool caseBlind);

// The start every reply body of that request line has: command "," echo ",".
std::string bodyStartOf(std::string_view line);

}  // namespace vexa
