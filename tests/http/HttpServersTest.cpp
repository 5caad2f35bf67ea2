// The stored translation servers: what add-server accepts, and entries that
// read back as written (the suite has a registry of its own).
#include <gtest/gtest.h>

#include "engines/http/HttpEngine.h"
#include "engines/http/HttpServers.h"
#include "src/options/RegistrySettings.h"
#include "src/platform/Registry.h"

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

TEST_F(HttpServers, StoresReadsAndRemovesEntries) {
  ServerEntry lt{L"lt", "https://lt.example.org", Api::LibreTranslate, "secret", 5000,
                 {{"en", "es"}, {"es", "en"}, {"pt-BR", "en"}, {"en", "pt-BR"}}};
  ServerEntry apy{L"apy", "http://127.0.0.1:2737", Api::Apy, "", kDefaultTimeoutMs, {}};
  std::wstring error;
  ASSERT_TRUE(SaveServer(lt, &error)) << error;
  ASSERT_TRUE(SaveServer(apy, &error)) << error;

  auto servers = LoadServers();
  ASSERT_EQ(servers.size(), 2u);
  EXPECT_EQ(servers[0].name, L"apy");
  EXPECT_EQ(servers[1].url, lt.url);
  EXPECT_EQ(servers[1].api, Api::LibreTranslate);
  EXPECT_EQ(servers[1].key, "secret");
  EXPECT_EQ(servers[1].timeoutMs, 5000);
  EXPECT_EQ(servers[1].lastPairs, lt.lastPairs);

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
}

TEST_F(HttpServers, SkipsDamagedEntriesAndListsKeptPairsAsNotWorking) {
  platform::RegKey key;
  ASSERT_EQ(platform::RegKey::Create(platform::Hive::CurrentUser, kServersKey + L"\\broken", &key), ERROR_SUCCESS);
  key.SetValue(L"Url", platform::RegValue::String(L"http://mt"));
  key.SetValue(L"Api", platform::RegValue::String(L"soap"));
  EXPECT_TRUE(LoadServers().empty());

  ServerEntry s{L"team", "http://mt", Api::Apy, "k", kDefaultTimeoutMs, {}};
  auto working = ListEntry(s, {"eng", "spa"}, true);
  auto kept = ListEntry(s, {"eng", "spa"}, false);
  EXPECT_EQ(working.engineId, L"team:eng-spa");
  EXPECT_EQ(working.fromLang, L"en");
  EXPECT_EQ(working.toLang, L"es");
  EXPECT_EQ(working.productName, L"team");
  EXPECT_NE(working.flags & engine_server::kPairFlagTranslate, 0);
  EXPECT_EQ(kept.flags & engine_server::kPairFlagTranslate, 0);
  EXPECT_EQ(kept.productName, L"team (unreachable)");
}

}  // namespace
}  // namespace http_engine
