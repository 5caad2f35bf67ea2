// What the HTTP engine makes of the answers of the two APIs, and the
// requests it sends: every malformed or hostile answer is refused with a
// reason, never taken as a translation of the wrong sentence.
#include <gtest/gtest.h>

#include "engines/http/HttpProtocol.h"

namespace http_engine {
namespace {

// The reason holds `part`, or there is none when `part` is empty.
void ExpectReason(const std::string& reason, const char* part) {
  if (*part) {
    EXPECT_NE(reason.find(part), std::string::npos) << reason;
  } else {
    EXPECT_EQ(reason, "");
  }
}

TEST(HttpProtocol, ReadsPairListsAndRefusesWhatIsNotOne) {
  struct Case {
    Api api;
    const char* body;
    std::vector<RemotePair> pairs;
    const char* error;  // part of the reason, "" when none
  };
  const Case cases[] = {
      {Api::Apy,
       R"({"responseData":[{"sourceLanguage":"eng","targetLanguage":"spa"},{"sourceLanguage":"spa","targetLanguage":"eng_US"}],"responseStatus":200})",
       {{"eng", "spa"}, {"spa", "eng_US"}}, ""},
      // Duplicates once; codes that would break an engine key or a cache
      // cell (":", tab, blank, a "-" at an end) and pairs to themselves are
      // left out; a region after a "-" is a code of its own.
      {Api::Apy,
       R"({"responseData":[{"sourceLanguage":"eng","targetLanguage":"spa"},{"sourceLanguage":"eng","targetLanguage":"spa"},
          {"sourceLanguage":"e:g","targetLanguage":"spa"},{"sourceLanguage":"en\tg","targetLanguage":"spa"},
          {"sourceLanguage":"eng","targetLanguage":"eng"},{"sourceLanguage":"pt-BR","targetLanguage":"eng"},
          {"sourceLanguage":"-pt","targetLanguage":"eng"},{"sourceLanguage":5,"targetLanguage":"spa"}]})",
       {{"eng", "spa"}, {"pt-BR", "eng"}}, ""},
      {Api::Apy, R"({"responseData":null})", {}, "no \"responseData\" array"},
      {Api::Apy, "<html>502 Bad Gateway</html>", {}, "not JSON"},
      {Api::LibreTranslate, R"([{"code":"en","name":"English","targets":["es","fr","en"]},{"code":"es","targets":["en"]}])",
       {{"en", "es"}, {"en", "fr"}, {"es", "en"}}, ""},
      {Api::LibreTranslate, R"({"error":"Too many requests"})", {}, "not an array"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    PairsAnswer a = ReadPairs(c.api, c.body);
    EXPECT_EQ(a.pairs, c.pairs);
    ExpectReason(a.error, c.error);
  }
}

TEST(HttpProtocol, ReadsTranslationsOnlyWhenEveryTextCameBack) {
  struct Case {
    Api api;
    const char* body;
    size_t expected;
    std::vector<std::string> texts;
    const char* error;
  };
  const Case cases[] = {
      {Api::Apy, R"({"responseData":{"translatedText":"Hola Mundo."},"responseStatus":200})", 1, {"Hola Mundo."}, ""},
      {Api::LibreTranslate, R"({"translatedText":["Uno.","Dos."]})", 2, {"Uno.", "Dos."}, ""},
      {Api::LibreTranslate, R"({"translatedText":"Uno."})", 1, {"Uno."}, ""},
      {Api::LibreTranslate, R"({"translatedText":["Uno."]})", 2, {}, "holds 1 translations for 2 texts"},
      {Api::LibreTranslate, R"({"translatedText":["Uno.","Dos.","Tres."]})", 2, {}, "holds 3 translations for 2"},
      {Api::LibreTranslate, R"({"translatedText":["Uno.",null]})", 2, {}, "not a text"},
      {Api::LibreTranslate, R"({"error":"Invalid API key"})", 1, {}, "no \"translatedText\""},
      {Api::Apy, R"({"responseData":{"translatedText":{"a":1}}})", 1, {}, "neither a text nor a list"},
      {Api::Apy, R"({"responseData":{"translatedText":"Hola)", 1, {}, "not JSON"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    TranslationsAnswer a = ReadTranslations(c.api, c.body, c.expected);
    EXPECT_EQ(a.texts, c.texts);
    ExpectReason(a.error, c.error);
  }
}

TEST(HttpProtocol, BuildsRequestsOfBothApis) {
  HttpCall apy = TranslateCall(Api::Apy, {"eng", "spa"}, {"R&D costs 5% más"}, "");
  EXPECT_EQ(apy.path, "/translate");
  EXPECT_EQ(apy.contentType, "application/x-www-form-urlencoded");
  EXPECT_EQ(apy.body, "langpair=eng%7Cspa&markUnknown=no&q=R%26D%20costs%205%25%20m%C3%A1s");

  HttpCall lt = TranslateCall(Api::LibreTranslate, {"en", "es"}, {"One.", "Two \"quoted\"."}, "k=1");
  EXPECT_EQ(lt.contentType, "application/json");
  EXPECT_EQ(lt.body, R"({"api_key":"k=1","format":"text","q":["One.","Two \"quoted\"."],"source":"en","target":"es"})");
  EXPECT_EQ(TranslateCall(Api::LibreTranslate, {"en", "es"}, {"x"}, "").body.find("api_key"), std::string::npos);

  EXPECT_EQ(ListPairsCall(Api::Apy).path, "/listPairs");
  EXPECT_EQ(ListPairsCall(Api::LibreTranslate).path, "/languages");
  EXPECT_EQ(ParseApi("LibreTranslate"), Api::LibreTranslate);
  EXPECT_EQ(ParseApi("apy"), Api::Apy);
  EXPECT_EQ(ParseApi("google"), std::nullopt);
}

TEST(HttpProtocol, PutsBackTheBlanksAServerTrimmed) {
  struct Case {
    const wchar_t* source;
    const wchar_t* answer;
    const wchar_t* kept;
  };
  const Case cases[] = {
      {L"l1 ", L"l1", L"l1 "},
      {L"\u3000 Hello\t", L"Hola", L"\u3000 Hola\t"},
      {L" Hello ", L" Hola ", L" Hola "},
      {L"Hello", L"Hola", L"Hola"},
      {L"  ", L"", L"  "},
  };
  for (const Case& c : cases) EXPECT_EQ(KeepOuterBlanks(c.source, c.answer), c.kept) << c.source;
}

TEST(HttpProtocol, ReadsTheReadingsOfAWholeWord) {
  struct Case {
    const char* body;
    std::vector<Reading> readings;
    const char* error;
  };
  const Case cases[] = {
      {R"([["houses/house<n><pl>/house<vblex><pri><p3><sg>/house<n><pl>","houses"]])",
       {{"house", {"n", "pl"}}, {"house", {"vblex", "pri", "p3", "sg"}}}, ""},
      {R"([["zzyzx/*zzyzx","zzyzx"]])", {}, ""},
      // Two units: the analyser did not take it as one word.
      {R"([["ice/ice<n><sg>","ice"],["cream/cream<n><sg>","cream"]])", {}, ""},
      {R"({"error":"no analyser"})", {}, "not a list"},
      {"<html>", {}, "not JSON"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    ReadingsAnswer a = ReadReadings(c.body);
    EXPECT_EQ(a.readings, c.readings);
    ExpectReason(a.error, c.error);
  }
}

}  // namespace
}  // namespace http_engine
