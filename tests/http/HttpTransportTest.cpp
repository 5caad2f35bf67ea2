// The HTTP engine over the platform's transport (libcurl here, WinHTTP under
// Wine) against the loopback servers with_servers.sh starts, reached as the
// add-in reaches it: the implementation list, the engine factory, the pair's
// engine. Each server is named by PELORANT_HTTP_<BEHAVIOUR>.
#include <gtest/gtest.h>

#include <cstdlib>

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

// Answers and faults: each fault ends the request as failed, with a code and
// a text naming the server and what it did; none waits longer than the
// server's time-out (one second where the server never ends its answer).
// Words are looked up through the analyser.
TEST_F(HttpTransport, AnswersAndFaultsOfTranslationsAndLookups) {
  struct Case {
    const char* behaviour;
    bool lookup;
    const wchar_t* text;
    LONG status;
    LONG code;
    const wchar_t* said;  // the answer, or what the error text says after the server's name
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.behaviour) + " " + platform::ToUtf8(c.text));
    // One engine, and so one kept connection, for the rows of a server.
    if (opened != c.behaviour) {
      opened = c.behaviour;
      const bool slow = opened == "STALL" || opened == "DRIP";
      std::wstring error;
      engine = Open(c.behaviour, slow ? 1000 : kDefaultTimeoutMs, &error);
      ASSERT_TRUE(engine) << platform::ToUtf8(error);
    }
    LONG flags = 0, status = kRequestRunning, code = 0;
    engine->Info(&flags);
    EXPECT_NE(flags & kInfoFlagDictionary, 0);
    std::shared_ptr<ITranslationResult> translation;
    std::shared_ptr<IDictionaryResult> entry;
    ASSERT_TRUE(SUCCEEDED(c.lookup ? engine->LookupDictionary(c.text, &entry)
                                   : engine->Translate(c.text, kTranslateModePlain, &translation)));
    engine->WaitForResult(kNeverMs, &status);
    EXPECT_EQ(status, c.status);
    engine->ErrorCode(&code);
    EXPECT_EQ(code, c.code);
    std::wstring text;
    if (status == kRequestDone) {
      c.lookup ? entry->Text(&text) : translation->Text(&text);
      EXPECT_EQ(text, c.said);
    } else {
      engine->ErrorText(&text);
      const std::wstring where = *c.said ? L"\"s\" (" + platform::FromUtf8(ServerUrl(c.behaviour)) + L") " : L"";
      EXPECT_NE(text.find(where + c.said), std::wstring::npos) << platform::ToUtf8(text);
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
