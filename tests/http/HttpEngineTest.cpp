// The HTTP engine: what it makes of the answers of the two APIs and the
// requests it sends (every malformed or hostile answer is refused with a
// reason, never taken as a translation of the wrong sentence); the stored
// translation servers (the suite has a registry of its own); and the
// engine over the platform's transport (libcurl here, WinHTTP under Wine)
// against the loopback servers with_servers.sh starts, reached as the add-in
// reaches it, each server named by PELORANT_HTTP_<BEHAVIOUR>.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <tuple>

#include "engines/http/HttpEngine.h"
#include "src/options/RegistrySettings.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "tests/common/EngineOpen.h"

namespace http_engine {
namespace {

using namespace engine_server;

const std::wstring kServersKey = std::wstring(options::kCommonKeyPath) + L"\\HttpServers";

// The reason holds `part`, or there is none when `part` is empty.
void ExpectReason(const std::string& reason, const char* part) {
  EXPECT_TRUE(*part ? reason.find(part) != std::string::npos : reason.empty())
      << "reason: " << reason << ", wanted: " << part;
}

TEST(HttpProtocol, ReadsPairListsAndRefusesWhatIsNotOne) {
  // The API, the answer, the pairs read, part of the reason ("" when none).
  const std::tuple<Api, const char*, std::vector<RemotePair>, const char*> cases[] = {
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
  for (const auto& [api, body, pairs, error] : cases) {
    SCOPED_TRACE(body);
    PairsAnswer a = ReadPairs(api, body);
    EXPECT_EQ(a.pairs, pairs);
    ExpectReason(a.error, error);
  }
}

TEST(HttpProtocol, ReadsTranslationsOnlyWhenEveryTextCameBack) {
  // The API, the answer, the texts sent, the translations read, the reason.
  const std::tuple<Api, const char*, size_t, std::vector<std::string>, const char*> cases[] = {
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
  for (const auto& [api, body, expected, texts, error] : cases) {
    SCOPED_TRACE(body);
    TranslationsAnswer a = ReadTranslations(api, body, expected);
    EXPECT_EQ(a.texts, texts);
    ExpectReason(a.error, error);
  }
}

TEST(HttpProtocol, BuildsRequestsOfBothApis) {
  // Each call as "path type body".
  auto call = [](const HttpCall& c) { return c.path + " " + c.contentType + " " + c.body; };
  EXPECT_EQ(call(TranslateCall(Api::Apy, {"eng", "spa"}, {"R&D costs 5% más"}, "")),
            "/translate application/x-www-form-urlencoded langpair=eng%7Cspa&markUnknown=no&q=R%26D%20costs%205%25%20m%C3%A1s");
  EXPECT_EQ(call(TranslateCall(Api::LibreTranslate, {"en", "es"}, {"One.", "Two \"quoted\"."}, "k=1")),
            "/translate application/json "
            R"({"api_key":"k=1","format":"text","q":["One.","Two \"quoted\"."],"source":"en","target":"es"})");
  EXPECT_EQ(TranslateCall(Api::LibreTranslate, {"en", "es"}, {"x"}, "").body.find("api_key"), std::string::npos);

  EXPECT_EQ(ListPairsCall(Api::Apy).path + " " + ListPairsCall(Api::LibreTranslate).path, "/listPairs /languages");
  // Names in any letter case; others are none.
  EXPECT_EQ(std::tuple(ParseApi("LibreTranslate"), ParseApi("apy"), ParseApi("google")),
            std::tuple(std::optional(Api::LibreTranslate), std::optional(Api::Apy), std::optional<Api>()));
}

TEST(HttpProtocol, PutsBackTheBlanksAServerTrimmed) {
  // The source, the server's answer, what is kept.
  const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
      {L"l1 ", L"l1", L"l1 "},
      {L"\u3000 Hello\t", L"Hola", L"\u3000 Hola\t"},
      {L" Hello ", L" Hola ", L" Hola "},
      {L"Hello", L"Hola", L"Hola"},
      {L"  ", L"", L"  "},
  };
  for (const auto& [source, answer, kept] : cases) EXPECT_EQ(KeepOuterBlanks(source, answer), kept) << source;
}

TEST(HttpProtocol, ReadsTheReadingsOfAWholeWord) {
  // The answer, the readings, the reason.
  const std::tuple<const char*, std::vector<Reading>, const char*> cases[] = {
      {R"([["houses/house<n><pl>/house<vblex><pri><p3><sg>/house<n><pl>","houses"]])",
       {{"house", {"n", "pl"}}, {"house", {"vblex", "pri", "p3", "sg"}}}, ""},
      {R"([["zzyzx/*zzyzx","zzyzx"]])", {}, ""},
      // Two units: the analyser did not take it as one word.
      {R"([["ice/ice<n><sg>","ice"],["cream/cream<n><sg>","cream"]])", {}, ""},
      {R"({"error":"no analyser"})", {}, "not a list"},
      {"<html>", {}, "not JSON"},
  };
  for (const auto& [body, readings, error] : cases) {
    SCOPED_TRACE(body);
    ReadingsAnswer a = ReadReadings(body);
    EXPECT_EQ(a.readings, readings);
    ExpectReason(a.error, error);
  }
}

class HttpServers : public ::testing::Test {
 protected:
  void SetUp() override { platform::DeleteKeyTree(platform::Hive::CurrentUser, kServersKey); }
  void TearDown() override { platform::DeleteKeyTree(platform::Hive::CurrentUser, kServersKey); }
};

TEST_F(HttpServers, ChecksNamesAndUrls) {
  // The name, the address, whether both are taken.
  const std::tuple<const wchar_t*, const char*, bool> cases[] = {
      {L"team", "http://mt.example.org", true},
      {L"team-2.eu_x", "https://mt.example.org:8443/apy", true},
      {L"team", "http://[::1]:2737", true},
      {L"", "http://mt", false},
      {L"a:b", "http://mt", false},
      {L"a b", "http://mt", false},
      {L"team", "ftp://mt", false},
      {L"team", "http://", false},
      {L"team", "http://mt:", false},
      {L"team", "http://mt:99999", false},
      {L"team", "http://mt:80x", false},
      {L"team", "http://mt/a b", false},
      {L"team", "http://mt/?key=1", false},
  };
  for (const auto& [name, url, ok] : cases) EXPECT_EQ(CheckServerName(name).empty() && CheckServerUrl(url).empty(), ok) << url;
}

// The in-process engine side lists the implementation once a server is stored.
TEST_F(HttpServers, StoresReadsAndRemovesEntries) {
  auto listed = [] {
    const auto names = testsupport::ListedImplementations();
    return std::find(names.begin(), names.end(), kImplementationName) != names.end();
  };
  EXPECT_FALSE(listed());
  ServerEntry lt{L"lt", "https://lt.example.org", Api::LibreTranslate, "secret", 5000,
                 {{"en", "es"}, {"es", "en"}, {"pt-BR", "en"}, {"en", "pt-BR"}}};
  ServerEntry apy{L"apy", "http://127.0.0.1:2737", Api::Apy, "", kDefaultTimeoutMs, {}};
  std::wstring error;
  ASSERT_TRUE(SaveServer(lt, &error)) << error;
  ASSERT_TRUE(SaveServer(apy, &error)) << error;
  EXPECT_TRUE(listed());

  auto servers = LoadServers();
  ASSERT_EQ(servers.size(), 2u);
  EXPECT_EQ(servers[0].name, L"apy");
  const ServerEntry& back = servers[1];
  EXPECT_EQ(std::tie(back.name, back.url, back.api, back.key, back.timeoutMs, back.lastPairs),
            std::tie(lt.name, lt.url, lt.api, lt.key, lt.timeoutMs, lt.lastPairs));

  // A listing updates the pairs; replacing a server drops what it had.
  ASSERT_TRUE(StorePairs(L"apy", {{"eng", "spa"}}));
  EXPECT_EQ(LoadServers()[0].lastPairs, (std::vector<RemotePair>{{"eng", "spa"}}));
  lt.key.clear();
  ASSERT_TRUE(SaveServer(lt, &error));
  EXPECT_EQ(LoadServers()[1].key, "");

  EXPECT_TRUE(RemoveServer(L"lt", &error));
  EXPECT_FALSE(RemoveServer(L"lt", &error));
  EXPECT_NE(error.find(L"no translation server is called \"lt\""), std::wstring::npos);
  ASSERT_EQ(LoadServers().size(), 1u);

  ServerEntry bad = apy;
  bad.url = "gopher://x";
  EXPECT_FALSE(SaveServer(bad, &error));
  // A damaged entry is skipped.
  platform::RegKey key;
  ASSERT_EQ(platform::RegKey::Create(platform::Hive::CurrentUser, kServersKey + L"\\broken", &key), ERROR_SUCCESS);
  key.SetValue(L"Url", platform::RegValue::String(L"http://mt"));
  key.SetValue(L"Api", platform::RegValue::String(L"soap"));
  EXPECT_EQ(LoadServers().size(), 1u);
}

// The options dialog adds a server through the same checks as add-server:
// each refusal names its reason, and nothing is stored before the server
// has answered.
TEST_F(HttpServers, TheDialogsWayInRefusesWhatAddServerRefuses) {
  std::shared_ptr<IServerSettings> settings;
  ASSERT_EQ(CreateServerSettings(&settings), S_OK);
  const std::string dir = ::testing::TempDir();
  std::ofstream(dir + "blank.key") << "  \r\nsecond-line-key\n";
  const std::wstring blank = platform::FromUtf8(dir + "blank.key");
  const std::wstring missing = platform::FromUtf8(dir + "missing.key");
  // The server, why it is refused.
  const std::pair<NewServer, const wchar_t*> cases[] = {
      {{L"a b", L"http://127.0.0.1:1", L"", L""}, L"only letters, digits"},
      {{L"team", L"ftp://mt", L"", L""}, L"must start with http:// or https://"},
      {{L"team", L"http://127.0.0.1:1", L"soap", L""}, L"apy or libretranslate, not 'soap'"},
      {{L"team", L"http://127.0.0.1:1", L"", missing}, L"missing.key' cannot be read"},
      {{L"team", L"http://127.0.0.1:1", L"", blank}, L"has no key on its first line"},
      {{L"team", L"http://127.0.0.1:1/", L"libretranslate", L""},
       L"\"team\" (http://127.0.0.1:1) could not be reached"},
  };
  for (const auto& [server, refusal] : cases) {
    std::wstring why;
    EXPECT_FALSE(settings->Add(server, &why));
    EXPECT_NE(why.find(refusal), std::wstring::npos) << platform::ToUtf8(why);
  }
  EXPECT_TRUE(settings->Servers().empty());

  // Rows show what identifies a server, never its key.
  std::wstring error;
  ASSERT_TRUE(SaveServer({L"lt", "https://lt.example.org", Api::LibreTranslate, "secret", 5000, {}}, &error));
  const auto rows = settings->Servers();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].name + L" " + rows[0].url + L" " + rows[0].api, L"lt https://lt.example.org libretranslate");
  EXPECT_TRUE(settings->Remove(L"lt", &error));
  EXPECT_FALSE(settings->Remove(L"lt", &error));
}

// Far longer than any answer of a working loopback server takes; only a
// request that never ends reaches it.
constexpr LONG kNeverMs = 60000;

std::string ServerUrl(const char* behaviour) {
  const char* url = std::getenv((std::string("PELORANT_HTTP_") + behaviour).c_str());
  return url ? url : "";
}

class HttpTransport : public HttpServers {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(InitializeEngineThread()));
    HttpServers::SetUp();
  }
  void TearDown() override {
    HttpServers::TearDown();
    UninitializeEngineThread();
  }

  // Stores the server as the user's only one and opens its eng-spa engine;
  // else the factory's error text.
  std::shared_ptr<ITranslationEngine> Open(const char* behaviour, int timeoutMs, std::wstring* error) {
    const std::string url = ServerUrl(behaviour);
    EXPECT_FALSE(url.empty()) << "run the suite through with_servers.sh";
    std::wstring stored;
    EXPECT_TRUE(SaveServer({L"s", url, Api::Apy, "", timeoutMs, {}}, &stored)) << stored;
    std::shared_ptr<IEngineFactory> factory;
    EXPECT_TRUE(SUCCEEDED(CreateEngineFactory(&factory)));
    EXPECT_TRUE(SUCCEEDED(factory->SetImplementation(kImplementationName)));
    return testsupport::OpenListedEngine(*factory, L"s:eng-spa", error);
  }
};

// Answers and faults: each fault ends the request as failed, with a code and
// a text naming the server and what it did; none waits longer than the
// server's time-out (one second where the server never ends its answer).
// Words are looked up through the analyser.
TEST_F(HttpTransport, AnswersAndFaultsOfTranslationsAndLookups) {
  // The server's behaviour, whether a word is looked up, the text, the
  // request's status and code, and the answer or what the error text says
  // after the server's name.
  const std::tuple<const char*, bool, const wchar_t*, LONG, LONG, const wchar_t*> cases[] = {
      {"OK", false, L"Hello world. ", kRequestDone, 0, L"HELLO WORLD. "},
      {"OK", false, L"The sea, the sky.", kRequestDone, 0, L"THE SEA, THE SKY."},
      {"OK", true, L" House,", kRequestDone, 0, L"house (n, sg): HOUSE\r\nhouse (vblex, inf): HOUSE"},
      {"OK", true, L"zzyzx", kRequestFailed, kEngineErrorWordNotFound, L""},
      {"ERROR500", true, L"house", kRequestFailed, kEngineErrorRemoteServer, L"answered with HTTP status 500"},
      {"STALL", false, L"Hello.", kRequestFailed, kEngineErrorNetwork, L"did not answer in time"},
      {"HUGE", false, L"Hello.", kRequestFailed, kEngineErrorRemoteServer, L"gave an answer too long to take"},
      {"WRONGLEN", false, L"Hello.", kRequestFailed, kEngineErrorNetwork, L"broke off the exchange"},
  };
  std::shared_ptr<ITranslationEngine> engine;
  std::string opened;
  for (const auto& [behaviour, lookup, source, wantStatus, wantCode, said] : cases) {
    SCOPED_TRACE(std::string(behaviour) + " " + platform::ToUtf8(source));
    // One engine, and so one kept connection, for the rows of a server.
    if (opened != behaviour) {
      opened = behaviour;
      std::wstring error;
      engine = Open(behaviour, opened == "STALL" ? 1000 : kDefaultTimeoutMs, &error);
      ASSERT_TRUE(engine) << platform::ToUtf8(error);
    }
    LONG flags = 0, status = kRequestRunning, code = 0;
    engine->Info(&flags);
    EXPECT_NE(flags & kInfoFlagDictionary, 0);
    std::shared_ptr<ITranslationResult> translation;
    std::shared_ptr<IDictionaryResult> entry;
    ASSERT_TRUE(SUCCEEDED(lookup ? engine->LookupDictionary(source, &entry)
                                 : engine->Translate(source, kTranslateModePlain, &translation)));
    engine->WaitForResult(kNeverMs, &status);
    engine->ErrorCode(&code);
    EXPECT_EQ(std::pair(status, code), std::pair(wantStatus, wantCode)) << "status, code";
    std::wstring text;
    if (status == kRequestDone) {
      lookup ? entry->Text(&text) : translation->Text(&text);
      EXPECT_EQ(text, said);
    } else {
      engine->ErrorText(&text);
      const std::wstring where = *said ? L"\"s\" (" + platform::FromUtf8(ServerUrl(behaviour)) + L") " : L"";
      EXPECT_NE(text.find(where + said), std::wstring::npos) << platform::ToUtf8(text);
    }
  }
}

TEST_F(HttpTransport, AnUntrustedCertificateIsRefused) {
  std::wstring error;
  EXPECT_FALSE(Open("TLS", kDefaultTimeoutMs, &error));
  EXPECT_NE(error.find(L"failed the secure connection check"), std::wstring::npos) << platform::ToUtf8(error);
}

TEST_F(HttpTransport, CancelEndsAStalledExchangeWithinTheGrace) {
  std::wstring error;
  // Cancel must end it long before the time-out would.
  auto engine = Open("STALL", 4 * AsyncRequest::kReleaseGraceMs, &error);
  ASSERT_TRUE(engine) << platform::ToUtf8(error);
  std::shared_ptr<ITranslationResult> result;
  ASSERT_TRUE(SUCCEEDED(engine->Translate(L"Hello.", kTranslateModePlain, &result)));
  LONG status = kRequestRunning;
  engine->WaitForResult(200, &status);
  ASSERT_EQ(status, kRequestRunning);
  engine->Cancel();
  engine->WaitForResult(AsyncRequest::kReleaseGraceMs, &status);
  EXPECT_EQ(status, kRequestCancelled);
}

}  // namespace
}  // namespace http_engine
