#include "reply_fields.h"

#include <cstdio>

#include "text_format.h"

namespace vexa {

namespace {
std::vector<std::string> splitCommas(std::string_view body) {
  std::vector<std::string> parts(1);
  for (char c : body) {
    if (c == ',') {
      parts.emplace_back();
    } else if (c != '\r' && c != '\n') {
      parts.back() += c;
    }
  }
  return parts;
}

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  return u;
}
}  // namespace

std::vector<std::pair<std::string, std::string>> replyFields(std::string_view body) {
  const std::vector<std::string> p = splitCommas(body);
  std::vector<std::pair<std::string, std::string>> fields;
  if (p.size() < 3) return fields;
  const std::string command = upper(p[0]);
  // p ends with the empty text after the final comma.
  const size_t values = p.size() - 3;
  if (command == "SND" && (values == 4 || values == 9)) {
    fields = {{"temp", p[2]}, {"umid", p[3]}, {"bat", p[4]}};
    if (values == 9) {
      const char* flags[5] = {"presenca", "reset_free", "rede", "rede2", "rede3"};
      for (size_t i = 0; i < 5; ++i) fields.emplace_back(flags[i], p[5 + i]);
    }
    fields.emplace_back("token", p[p.size() - 2]);
  } else if (command == "RPR" && (values == 20 || values == 22)) {
    const char* names26[] = {"ip", "mask", "gateway", "mac", "scale"};
    size_t i = 2;
    for (const char* n : names26) fields.emplace_back(n, p[i++]);
    if (values == 22) {  // variants 130 and 150 add the working adjustments
      fields.emplace_back("aj_temp_work", p[i++]);
      fields.emplace_back("aj_umid_work", p[i++]);
    }
    std::string marks;
    for (int k = 0; k < 6; ++k) marks += (k ? "," : "") + p[i++];
    fields.emplace_back("config_marks", marks);
    fields.emplace_back("version", p[i++]);
    fields.emplace_back("aj_temp", p[i++]);
    fields.emplace_back("aj_umid", p[i++]);
    fields.emplace_back("version_date", p[i + 2] + "/" + p[i + 3] + "/" + p[i + 4] + p[i + 5] +
                                            " " + p[i] + ":" + p[i + 1]);
  }
  return fields;
}

std::string replyJson(const DecodedReply& reply, std::string_view framed) {
  std::string body = reply.body;
  if (body.size() >= 2 && body.compare(body.size() - 2, 2, "\r\n") == 0)
    body.resize(body.size() - 2);
  std::string out = "{\"variant\":\"" + std::string(variantCaption(reply.variantCode)) + "\"";
  if (reply.variantCode != kVariant110) {
    out += ",\"header_token\":" + std::to_string(reply.headerToken);
  }
  out += ",\"bytes\":" + std::to_string(framed.size()) + ",\"body\":" + jsonText(body) +
         ",\"fields\":{";
  bool first = true;
  for (const auto& [name, value] : replyFields(body)) {
    if (!first) out += ',';
    out += jsonText(name);
    out += ':';
    out += jsonText(value);
    first = false;
  }
  return out + "}}";
}

}  // namespace vexa
