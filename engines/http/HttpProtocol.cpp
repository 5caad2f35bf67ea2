#include "engines/http/HttpProtocol.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace http_engine {

namespace {

using nlohmann::json;

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// A server's own codes become part of engine ids and cache cells: letters,
// digits, "_" and "-" (a region or script: "pt-BR", "zh-Hant") only, so a
// hostile answer cannot smuggle in tabs, line ends or the ":" that
// separates the id's parts.
bool IsCode(const std::string& s) {
  if (s.empty() || s.size() > 16 || s.front() == '-' || s.back() == '-') return false;
  for (char c : s) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

std::optional<json> Parse(const std::string& body, std::string* error) {
  json j = json::parse(body, nullptr, false);
  if (j.is_discarded()) {
    *error = "the answer is not JSON";
    return std::nullopt;
  }
  return j;
}

}  // namespace

std::optional<Api> ParseApi(const std::string& text) {
  std::string t = Lower(text);
  if (t == "apy") return Api::Apy;
  if (t == "libretranslate") return Api::LibreTranslate;
  return std::nullopt;
}

const char* ApiName(Api api) { return api == Api::Apy ? "apy" : "libretranslate"; }

std::string FormEncode(const std::string& value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '_' || c == '.' || c == '~';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::wstring KeepOuterBlanks(const std::wstring& source, std::wstring translation) {
  auto blank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == 0x3000; };
  size_t lead = 0, trail = 0;
  while (lead < source.size() && blank(source[lead])) ++lead;
  while (trail < source.size() - lead && blank(source[source.size() - 1 - trail])) ++trail;
  if (lead && (translation.empty() || !blank(translation.front()))) translation.insert(0, source.substr(0, lead));
  if (trail && (translation.empty() || !blank(translation.back()))) translation += source.substr(source.size() - trail);
  return translation;
}

HttpCall ListPairsCall(Api api) {
  return {api == Api::Apy ? "/listPairs" : "/languages", "", ""};
}

HttpCall TranslateCall(Api api, const RemotePair& pair, const std::vector<std::string>& texts,
                       const std::string& apiKey) {
  if (api == Api::Apy) {
    std::string body = "langpair=" + FormEncode(pair.from + "|" + pair.to) + "&markUnknown=no&q=" +
                       FormEncode(texts.empty() ? std::string() : texts.front());
    if (!apiKey.empty()) body += "&key=" + FormEncode(apiKey);
    return {"/translate", body, "application/x-www-form-urlencoded"};
  }
  json j = {{"q", texts}, {"source", pair.from}, {"target", pair.to}, {"format", "text"}};
  if (!apiKey.empty()) j["api_key"] = apiKey;
  return {"/translate", j.dump(-1, ' ', false, json::error_handler_t::replace), "application/json"};
}

PairsAnswer ReadPairs(Api api, const std::string& body) {
  PairsAnswer out;
  auto j = Parse(body, &out.error);
  if (!j) return out;
  auto add = [&](const json& from, const json& to) {
    if (!from.is_string() || !to.is_string()) return;
    RemotePair p{from.get<std::string>(), to.get<std::string>()};
    if (!IsCode(p.from) || !IsCode(p.to) || p.from == p.to) return;
    for (const auto& seen : out.pairs) {
      if (seen == p) return;
    }
    out.pairs.push_back(std::move(p));
  };
  if (api == Api::Apy) {
    const json* data = j->is_object() && j->contains("responseData") ? &(*j)["responseData"] : nullptr;
    if (!data || !data->is_array()) {
      out.error = "the pair list has no \"responseData\" array";
      return out;
    }
    for (const auto& p : *data) {
      if (p.is_object()) add(p.value("sourceLanguage", json()), p.value("targetLanguage", json()));
    }
  } else {
    if (!j->is_array()) {
      out.error = "the language list is not an array";
      return out;
    }
    for (const auto& l : *j) {
      if (!l.is_object() || !l.contains("targets") || !l["targets"].is_array()) continue;
      for (const auto& t : l["targets"]) add(l.value("code", json()), t);
    }
  }
  return out;
}

TranslationsAnswer ReadTranslations(Api api, const std::string& body, size_t expected) {
  TranslationsAnswer out;
  auto j = Parse(body, &out.error);
  if (!j) return out;
  const json* texts = nullptr;
  if (api == Api::Apy) {
    if (j->is_object() && j->contains("responseData") && (*j)["responseData"].is_object()) {
      const json& data = (*j)["responseData"];
      if (data.contains("translatedText")) texts = &data["translatedText"];
    }
  } else if (j->is_object() && j->contains("translatedText")) {
    texts = &(*j)["translatedText"];
  }
  if (!texts) {
    out.error = "the answer has no \"translatedText\"";
    return out;
  }
  if (texts->is_string()) {
    out.texts.push_back(texts->get<std::string>());
  } else if (texts->is_array()) {
    for (const auto& t : *texts) {
      if (!t.is_string()) {
        out.error = "a translation is not a text";
        out.texts.clear();
        return out;
      }
      out.texts.push_back(t.get<std::string>());
    }
  } else {
    out.error = "\"translatedText\" is neither a text nor a list";
    return out;
  }
  if (out.texts.size() != expected) {
    out.error = "the answer holds " + std::to_string(out.texts.size()) + " translations for " +
                std::to_string(expected) + " texts";
    out.texts.clear();
  }
  return out;
}

HttpCall AnalyseCall(const RemotePair& pair, const std::string& word) {
  return {"/analyse", "lang=" + FormEncode(pair.from) + "&q=" + FormEncode(word), "application/x-www-form-urlencoded"};
}

// The answer is a list of [analysis, surface form] per unit, the analysis in
// Apertium's stream form: "house/house<n><sg>/house<vblex><inf>", an
// unknown word's reading starting with "*".
ReadingsAnswer ReadReadings(const std::string& body) {
  ReadingsAnswer out;
  auto j = Parse(body, &out.error);
  if (!j) return out;
  if (!j->is_array()) {
    out.error = "the analysis is not a list";
    return out;
  }
  if (j->size() != 1 || !(*j)[0].is_array() || (*j)[0].empty() || !(*j)[0][0].is_string()) return out;
  const std::string unit = (*j)[0][0].get<std::string>();
  size_t at = unit.find('/');
  while (at != std::string::npos) {
    size_t end = unit.find('/', at + 1);
    std::string a = unit.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    at = end;
    if (a.empty() || a[0] == '*') continue;
    Reading r;
    size_t tag = a.find('<');
    r.lemma = a.substr(0, tag);
    while (tag != std::string::npos) {
      size_t close = a.find('>', tag);
      if (close == std::string::npos) break;
      r.tags.push_back(a.substr(tag + 1, close - tag - 1));
      tag = a.find('<', close);
    }
    if (!r.lemma.empty() && std::find(out.readings.begin(), out.readings.end(), r) == out.readings.end()) {
      out.readings.push_back(std::move(r));
    }
  }
  return out;
}

}  // namespace http_engine
