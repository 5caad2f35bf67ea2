// The two HTTP translation APIs a shared server may speak, as pure request
// builders and answer readers: the Apertium HTTP API (pairs by three-letter
// codes, one text per request) and the LibreTranslate API (two-letter codes,
// many texts per request). Nothing here touches the network, so every answer
// a server may give is testable as bytes.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace http_engine {

enum class Api { Apy, LibreTranslate };

// "apy" / "libretranslate" (case-insensitive) and back.
std::optional<Api> ParseApi(const std::string& text);
const char* ApiName(Api api);

// One direction a server offers, in the server's own codes.
struct RemotePair {
  std::string from;
  std::string to;
  // "eng-spa": how the pair shows in the engine id after the server's name.
  std::string Id() const { return from + "-" + to; }
  bool operator==(const RemotePair&) const = default;
};

// A request ready for the transport: path below the server's URL, body and
// its content type. GET when the body is empty.
struct HttpCall {
  std::string path;
  std::string body;
  std::string contentType;
};

HttpCall ListPairsCall(Api api);
// One call that translates texts (LibreTranslate: all of them in one array;
// Apy: exactly one text, the caller sends one call per text).
HttpCall TranslateCall(Api api, const RemotePair& pair, const std::vector<std::string>& texts,
                       const std::string& apiKey);

// What an answer held: values, or why it could not be read (a text for the
// log, naming what was wrong, never the server's whole answer).
struct PairsAnswer {
  std::vector<RemotePair> pairs;
  std::string error;
};
struct TranslationsAnswer {
  std::vector<std::string> texts;
  std::string error;
};

PairsAnswer ReadPairs(Api api, const std::string& body);

// The Apertium API's dictionary side: the readings its analyser gives one
// word of the pair's source language. The LibreTranslate API has none.
HttpCall AnalyseCall(const RemotePair& pair, const std::string& word);
struct Reading {
  std::string lemma;
  std::vector<std::string> tags;  // "n", "sg", ...
  bool operator==(const Reading&) const = default;
};
struct ReadingsAnswer {
  std::vector<Reading> readings;  // none when the analyser does not know the word
  std::string error;
};
// Only readings of the word as a whole count: a word the analyser splits
// into several units has none.
ReadingsAnswer ReadReadings(const std::string& body);
// `expected` texts must come back; any other count is an error, so a
// translation is never put in the place of another sentence's.
TranslationsAnswer ReadTranslations(Api api, const std::string& body, size_t expected);

// Servers trim what they translate; the blanks around the source (a
// paragraph's trailing blank before its line break) are put back where the
// translation lacks them.
std::wstring KeepOuterBlanks(const std::wstring& source, std::wstring translation);

// "a=b&c=d" form encoding of one value.
std::string FormEncode(const std::string& value);

}  // namespace http_engine
