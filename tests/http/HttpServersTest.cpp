// The stored translation servers: what add-server accepts, and entries that
// read back as written (the suite has a registry of its own).
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "engines/http/HttpEngine.h"
#include "engines/http/HttpServers.h"
#include "src/engine/server/EngineClasses.h"
#include "src/options/RegistrySettings.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"

namespace http_engine {
namespace {

const std::wstring kServersKey = std::wstring(options::kCommonKeyPath) + L"\\HttpServers";

class HttpServers : public ::testing::Test {
 protected:
  void SetUp() override { platform::DeleteKeyTree(platform::Hive::CurrentUser, kServersKey); }
  void TearDown() override { platform::DeleteKeyTree(platform::Hive::CurrentUser, kServersKey); }
};

TEST_F(HttpServers, ChecksNamesAndUrls) {
  struct Case {
    const wchar_t* name;
    const char* url;
    bool ok;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    bool ok = CheckServerName(c.name).empty() && CheckServerUrl(c.url).empty();
    EXPECT_EQ(ok, c.ok) << c.url;
  }
}

// The in-process engine side lists the implementation once a server is stored.
TEST_F(HttpServers, StoresReadsAndRemovesEntries) {
  auto listed = [] {
    std::shared_ptr<engine_server::IImplementations> all;
    LONG count = 0;
    if (engine_server::CreateInProcessImplementations(&all) != S_OK) return false;
    all->Count(&count);
    std::wstring name;
    for (LONG i = 1; i <= count; ++i)
      if (SUCCEEDED(all->Item(i, &name)) && name == kImplementationName) return true;
    return false;
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
  std::shared_ptr<engine_server::IServerSettings> settings;
  ASSERT_EQ(engine_server::CreateServerSettings(&settings), S_OK);
  const std::string dir = ::testing::TempDir();
  std::ofstream(dir + "blank.key") << "  \r\nsecond-line-key\n";
  const std::wstring blank = platform::FromUtf8(dir + "blank.key");
  const std::wstring missing = platform::FromUtf8(dir + "missing.key");
  struct Case {
    engine_server::NewServer server;
    const wchar_t* why;
  };
  const Case cases[] = {
      {{L"a b", L"http://127.0.0.1:1", L"", L""}, L"only letters, digits"},
      {{L"team", L"ftp://mt", L"", L""}, L"must start with http:// or https://"},
      {{L"team", L"http://127.0.0.1:1", L"soap", L""}, L"apy or libretranslate, not 'soap'"},
      {{L"team", L"http://127.0.0.1:1", L"", missing}, L"missing.key' cannot be read"},
      {{L"team", L"http://127.0.0.1:1", L"", blank}, L"has no key on its first line"},
      {{L"team", L"http://127.0.0.1:1/", L"libretranslate", L""},
       L"\"team\" (http://127.0.0.1:1) could not be reached"},
  };
  for (const Case& c : cases) {
    std::wstring why;
    EXPECT_FALSE(settings->Add(c.server, &why));
    EXPECT_NE(why.find(c.why), std::wstring::npos) << platform::ToUtf8(why);
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

}  // namespace
}  // namespace http_engine
