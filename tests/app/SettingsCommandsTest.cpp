// `pelorant options` and `pelorant reg` against a private stand-in registry:
// what they keep, and that each command is one change of the hive file.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/app/CallMain.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "tests/common/Paths.h"
#include "tests/platform/TestSupport.h"

namespace {

class SettingsCommands : public ::testing::Test {
 protected:
  using Outcome = apptest::Outcome;
  static Outcome Run(std::vector<std::string> args) { return apptest::Call(std::move(args)); }
  // The rewrites of the hive file that one command costs.
  std::uint64_t Rewrites(std::vector<std::string> args) {
    const std::uint64_t before = platform::RegistryRewriteCount();
    Outcome r = Run(std::move(args));
    EXPECT_EQ(r.status, 0) << r.err;
    return platform::RegistryRewriteCount() - before;
  }
  bool Shows(const std::string& set, const std::string& line, bool hidden) {
    std::vector<std::string> args{"options", "show", set};
    if (hidden) args.push_back("--hidden");
    Outcome r = Run(args);
    return r.status == 0 && ("\n" + r.out).find("\n" + line + "\n") != std::string::npos;
  }

  testsupport::TempDir mDir;
  platformtest::ScopedEnv mRegistry{L"PELORANT_REGISTRY", mDir.wpath()};
  platformtest::ScopedEnv mConfig{L"XDG_CONFIG_HOME", mDir.wpath()};
};

TEST_F(SettingsCommands, OptionCommandsKeepStoredHiddenValues) {
  ASSERT_EQ(Run({"options", "set", "default", "_TimeOutMSec=5000", "--hidden"}).status, 0);
  ASSERT_EQ(Run({"options", "add", "First"}).status, 0);
  ASSERT_EQ(Run({"options", "set", "First", "_TranPrefix=[", "--hidden"}).status, 0);
  for (std::vector<std::string> command : {std::vector<std::string>{"options", "add", "Other"},
                                           {"options", "select", "Other"},
                                           {"options", "set", "Other", "DualPrint=True"},
                                           {"options", "remove", "Other"}}) {
    ASSERT_EQ(Run(command).status, 0) << command[1];
    EXPECT_TRUE(Shows("default", "_TimeOutMSec=5000", true)) << "after " << command[1];
    EXPECT_TRUE(Shows("First", "_TranPrefix=[", true)) << "after " << command[1];
  }
  EXPECT_FALSE(Shows("default", "_TimeOutMSec=5000", false));
  EXPECT_NE(Run({"options", "set", "default", "_TimeOutMSec=7"}).status, 0);

  // The options dialog's switch for hidden options turns them on here too.
  ASSERT_EQ(Run({"reg", "add", "HKCU\\Software\\Talvoren\\OfficeAddIn\\RegV1\\Common", "/v",
                 "_Setup.ShowHiddenOptions", "/d", "True", "/f"})
                .status,
            0);
  EXPECT_TRUE(Shows("default", "_TimeOutMSec=5000", false));
  ASSERT_EQ(Run({"options", "set", "default", "_TimeOutMSec=7"}).status, 0);
  EXPECT_TRUE(Shows("default", "_TimeOutMSec=7", false));
}

TEST_F(SettingsCommands, EachCommandRewritesTheHiveOnce) {
  if (platform::RegistryHiveFile(platform::Hive::CurrentUser).empty()) GTEST_SKIP() << "no hive files here";
  EXPECT_EQ(Rewrites({"options", "add", "One"}), 1u);
  EXPECT_EQ(Rewrites({"options", "set", "One", "DualPrint=True", "WindowAlign=2"}), 1u);
  EXPECT_EQ(Rewrites({"reg", "add", "HKCU\\Software\\PelorantTest\\New", "/v", "a", "/d", "1", "/f"}), 1u);
  ASSERT_EQ(Run({"reg", "add", "HKCU\\Software\\PelorantTest\\New", "/v", "b", "/d", "2", "/f"}).status, 0);
  EXPECT_EQ(Rewrites({"reg", "delete", "HKCU\\Software\\PelorantTest\\New", "/va", "/f"}), 1u);
}

// A first run stores the engine cache's trigger and the menu's settings:
// one rewrite for each save, not one for each value.
TEST_F(SettingsCommands, AFirstTranslationRewritesTheHiveOncePerSave) {
  if (platform::RegistryHiveFile(platform::Hive::CurrentUser).empty()) GTEST_SKIP() << "no hive files here";
  const std::string script = mDir.path().string() + "/engine.txt", out = mDir.path().string() + "/out.pptx";
  std::ofstream(script) << "implementation\tTest\npair\ten-xx\ten\txx\t9\tEnglish - Test\tTest MT\tTest\n";
  platformtest::ScopedEnv engine{L"PELORANT_FAKE_ENGINE", platform::FromUtf8(script)};
  EXPECT_EQ(Rewrites({"translate", testsupport::CorpusDeck("poi__smartart-simple.pptx").string(), "-o", out, "--mode",
                      "Test:en-xx", "-q"}),
            2u);
}

}  // namespace
