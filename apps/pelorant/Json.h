// JSON output of the commands that offer --json.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace app {

// Keys stay in the order they are set, which is the order the commands
// document.
using JsonValue = nlohmann::ordered_json;

// One line of JSON. Bytes that are not UTF-8 become U+FFFD instead of
// failing the whole output.
inline std::string JsonText(const JsonValue& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// A UTF-8 text as a JSON string literal, quotes included.
inline std::string Json(const std::string& s) { return JsonText(JsonValue(s)); }

}  // namespace app
