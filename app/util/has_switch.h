#pragma once

#include <string>
#include <vector>

namespace vexa {

// True when "/" + `letter` occurs anywhere in the program's arguments (everything after the
// program's own path, joined by blanks as a command line shows them), both sides upper-cased by
// the ASCII rule. The program's path is left out because on this platform it is full of "/".
bool HasSwitch(char letter, const std::vector<std::string>& arguments);

}  // namespace vexa
