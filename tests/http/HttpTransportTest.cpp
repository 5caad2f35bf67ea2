// The HTTP engine over the platform's transport (libcurl here, WinHTTP under
// Wine) against the loopback servers with_servers.sh starts, reached as the
// add-in reaches it: the implementation list, the engine factory, the pair's
// engine. Each server is named by PELORANT_HTTP_<BEHAVIOUR>.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cwctype>

#include "engines/http/HttpEngine.h"
#include "engines/http/HttpServers.h"
#include "src/engine/server/AsyncRequest.h"
#include "src/engine/server/EngineClasses.h"
#include "src/options/RegistrySettings.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"

namespace http_engine {
namespace {

using namespace engine_server;

const std::wstring kServersKey = std::wstring(options::kCommonKeyPath) + L"\\HttpServers";
// Far longer than any answer of a working loopback server takes; only a
// request that never ends reaches it.
constexpr LONG kNeverMs = 60000;

std::string ServerUrl(const char* behaviour) {
  const char* url = std::getenv((std::string("PELORANT_HTTP_") + behaviour).c_str());
  return url ? url : "";
}

class HttpTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(InitializeEngineThread()));
    platform::DeleteKeyTree(platform::Hive::CurrentUser, kServersKey);
  }
  void TearDown() override {
    platform::DeleteKeyTree(platform::Hive::CurrentUser, kServersKey);
    UninitializeEngineThread();
  }

  // Stores the server as the user's only one and opens its eng-spa engine;
  // else the factory's error text.
  std::shared_ptr<ITranslationEngine> Open(const char* behaviour, int timeoutMs, std::wstring* error) {
    const std::string url = ServerUrl(behaviour);
    EXPECT_FALSE(url.empty()) << "run the suite through with_servers.sh";
    platform::DeleteKeyTree(platform::Hive::CurrentUser, kServersKey);
    std::wstring stored;
    EXPECT_TRUE(SaveServer({L"s", url, Api::Apy, "", timeoutMs, {}}, &stored)) << stored;
    std::shared_ptr<IEngineFactory> factory;
    EXPECT_TRUE(SUCCEEDED(CreateEngineFactory(&factory)));
    if (!factory) return nullptr;
    EXPECT_TRUE(SUCCEEDED(factory->SetImplementation(kImplementationName)));
    std::shared_ptr<IEngineList> list;
    LONG status = kRequestRunning;
    EXPECT_TRUE(SUCCEEDED(factory->GetEngineList(L"s:eng-spa", L"", L"", 0, &list)));
    factory->WaitForResult(kNeverMs, &status);
    std::shared_ptr<IEngineListItem> item;
    if (status != kRequestDone || FAILED(list->Item(1, &item))) {
      factory->ErrorText(error);
      return nullptr;
    }
    std::shared_ptr<ITranslationEngine> engine;
    EXPECT_TRUE(SUCCEEDED(factory->GetEngine(item, &engine)));
    return engine;
  }
};

TEST_F(HttpTransport, TheImplementationIsListedOnceAServerIsStored) {
  auto listed = [] {
    std::shared_ptr<IImplementations> all;
    LONG count = 0;
    if (FAILED(CreateImplementations(&all)) || FAILED(all->Count(&count))) return false;
    for (LONG i = 1; i <= count; ++i) {
      std::wstring name;
      if (SUCCEEDED(all->Item(i, &name)) && name == kImplementationName) return true;
    }
    return false;
  };
  EXPECT_FALSE(listed());
  std::wstring error;
  ASSERT_TRUE(SaveServer({L"s", ServerUrl("OK"), Api::Apy, "", kDefaultTimeoutMs, {}}, &error)) << error;
  EXPECT_TRUE(listed());
}

TEST_F(HttpTransport, TranslatesOnOneKeptConnection) {
  std::wstring error;
  auto engine = Open("OK", kDefaultTimeoutMs, &error);
  ASSERT_TRUE(engine) << platform::ToUtf8(error);
  for (const wchar_t* sentence : {L"Hello world. ", L"The sea, the sky."}) {
    std::shared_ptr<ITranslationResult> result;
    ASSERT_TRUE(SUCCEEDED(engine->Translate(sentence, kTranslateModePlain, &result)));
    LONG status = kRequestRunning;
    engine->WaitForResult(kNeverMs, &status);
    ASSERT_EQ(status, kRequestDone);
    std::wstring text;
    result->Text(&text);
    std::wstring upper = sentence;
    for (auto& c : upper) c = static_cast<wchar_t>(std::towupper(c));
    EXPECT_EQ(text, upper);
  }
}

TEST_F(HttpTransport, LooksWordsUpThroughTheAnalyser) {
  struct Case {
    const char* behaviour;
    const wchar_t* word;
    LONG status;
    const wchar_t* entry;  // the entry, or a part of the error text
  };
  const Case cases[] = {
      {"OK", L" House,", kRequestDone, L"house (n, sg): HOUSE\r\nhouse (vblex, inf): HOUSE"},
      {"OK", L"zzyzx", kRequestFailed, L""},
      {"ERROR500", L"house", kRequestFailed, L"answered with HTTP status 500"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.word));
    std::wstring error;
    auto engine = Open(c.behaviour, kDefaultTimeoutMs, &error);
    ASSERT_TRUE(engine) << platform::ToUtf8(error);
    LONG flags = 0;
    engine->Info(&flags);
    EXPECT_NE(flags & kInfoFlagDictionary, 0);
    std::shared_ptr<IDictionaryResult> result;
    ASSERT_TRUE(SUCCEEDED(engine->LookupDictionary(c.word, &result)));
    LONG status = kRequestRunning;
    engine->WaitForResult(kNeverMs, &status);
    EXPECT_EQ(status, c.status);
    std::wstring text;
    if (status == kRequestDone) {
      result->Text(&text);
      EXPECT_EQ(text, c.entry);
    } else {
      engine->ErrorText(&text);
      EXPECT_NE(text.find(c.entry), std::wstring::npos) << platform::ToUtf8(text);
    }
  }
}

// Each fault ends the request as failed, with a text naming the server and
// what it did; none waits longer than the server's time-out (one second).
TEST_F(HttpTransport, FaultsFailTheRequestNamingTheServer) {
  struct Case {
    const char* behaviour;
    LONG code;
    const wchar_t* said;
  };
  const Case cases[] = {
      {"ERROR500", kEngineErrorRemoteServer, L"answered with HTTP status 500"},
      {"STALL", kEngineErrorNetwork, L"did not answer in time"},
      {"DRIP", kEngineErrorNetwork, L"did not answer in time"},
      {"HUGE", kEngineErrorRemoteServer, L"gave an answer too long to take"},
      {"WRONGLEN", kEngineErrorNetwork, L"broke off the exchange"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.behaviour);
    std::wstring error;
    auto engine = Open(c.behaviour, 1000, &error);
    ASSERT_TRUE(engine) << platform::ToUtf8(error);
    std::shared_ptr<ITranslationResult> result;
    ASSERT_TRUE(SUCCEEDED(engine->Translate(L"Hello.", kTranslateModePlain, &result)));
    LONG status = kRequestRunning, code = 0;
    engine->WaitForResult(kNeverMs, &status);
    EXPECT_EQ(status, kRequestFailed);
    engine->ErrorCode(&code);
    EXPECT_EQ(code, c.code);
    std::wstring text;
    engine->ErrorText(&text);
    const std::wstring where = L"\"s\" (" + platform::FromUtf8(ServerUrl(c.behaviour)) + L") ";
    EXPECT_NE(text.find(where + c.said), std::wstring::npos) << platform::ToUtf8(text);
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
