#include "tests/standin/Protocol.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace standin {

std::string Escape(std::string_view text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (c > 0x20 && c < 0x7F && c != '%') {
      out += static_cast<char>(c);
    } else {
      out += {'%', hex[c >> 4], hex[c & 15]};
    }
  }
  return out;
}

// `digits` hex digits at `at`; false when they are not.
template <class T>
bool Hex(const char* at, size_t digits, T* value) {
  return std::from_chars(at, at + digits, *value, 16).ptr == at + digits;
}

bool Unescape(std::string_view text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '%' && (i + 2 >= text.size() || !Hex(text.data() + i + 1, 2, &c))) return false;
    if (text[i] == '%') i += 2;
    *out += static_cast<char>(c);
  }
  return true;
}

std::string Encode(const Value& v) {
  switch (v.type) {
    case Value::Type::Missing: return "-";
    case Value::Type::Null: return "n";
    case Value::Type::Int: return "i" + std::to_string(v.i);
    case Value::Type::Double: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "d%.17g", v.d);
      return buf;
    }
    case Value::Type::Bool: return v.i ? "b1" : "b0";
    case Value::Type::String: return "s" + Escape(v.s);
    case Value::Type::Object: return "o" + std::to_string(v.handle) + ":" + v.s;
    case Value::Type::Array: {
      std::string out = "[";
      for (const auto& item : v.items) out += " " + Encode(item);
      return out + " ]";
    }
  }
  return "-";
}

std::vector<std::string> Tokens(std::string_view line) {
  std::istringstream in{std::string(line)};
  std::vector<std::string> out;
  for (std::string token; in >> token;) out.push_back(std::move(token));
  return out;
}

bool Decode(const std::vector<std::string>& tokens, size_t* at, Value* out) {
  if (*at >= tokens.size()) return false;
  const std::string& t = tokens[(*at)++];
  *out = Value(t == "n" ? Value::Type::Null : Value::Type::Missing);
  if (t == "-" || t == "n") return true;
  if (t == "[") {
    out->type = Value::Type::Array;
    while (*at < tokens.size() && tokens[*at] != "]") {
      out->items.emplace_back();
      if (!Decode(tokens, at, &out->items.back())) return false;
    }
    return (*at)++ < tokens.size();
  }
  const std::string body = t.substr(1);
  char* end = nullptr;
  switch (t[0]) {
    case 'i':
      *out = Value::Int(std::strtoll(body.c_str(), &end, 10));
      return !body.empty() && *end == '\0';
    case 'd':
      *out = Value::Double(std::strtod(body.c_str(), &end));
      return !body.empty() && *end == '\0';
    case 'b':
      *out = Value::Bool(body == "1");
      return body == "0" || body == "1";
    case 's':
      out->type = Value::Type::String;
      return Unescape(body, &out->s);
    case 'o': {
      // The handle runs up to the colon; the kind follows it.
      const size_t colon = body.find(':');
      *out = Value::Object(static_cast<int>(std::strtol(body.c_str(), &end, 10)), body.substr(colon + 1));
      return colon != std::string::npos && end == body.c_str() + colon && out->handle > 0;
    }
    default: return false;
  }
}

std::string PictureText(const platform::Picture& picture) {
  if (picture.width <= 0 || picture.height <= 0) return {};
  std::string text = std::to_string(picture.width) + "x" + std::to_string(picture.height) + ":";
  char hex[9];
  for (std::uint32_t p : picture.pixels) {
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(p));
    text += hex;
  }
  return text;
}

bool ParsePictureText(const std::string& text, platform::Picture* picture) {
  *picture = platform::Picture();
  if (text.empty()) return true;
  int width = 0, height = 0, used = 0;
  if (std::sscanf(text.c_str(), "%dx%d:%n", &width, &height, &used) != 2 || used == 0 || width <= 0 || height <= 0 ||
      width > 1024 || height > 1024)
    return false;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (text.size() != static_cast<size_t>(used) + count * 8) return false;
  platform::Picture read{width, height, std::vector<std::uint32_t>(count)};
  for (size_t i = 0; i < count; ++i)
    if (!Hex(text.data() + used + i * 8, 8, &read.pixels[i])) return false;
  *picture = std::move(read);
  return true;
}

}  // namespace standin
