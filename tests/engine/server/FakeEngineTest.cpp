#include "engines/fake/FakeEngine.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/engine/EngineCacheTestEnv.h"
#include "src/engine/server/EngineClasses.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"

using namespace engine_server;
using fake_engine::FakeEngineSide;

namespace {

LONG Wait(IRequest& r) {
  LONG status = -1;
  EXPECT_EQ(S_OK, r.WaitForResult(-1, &status));
  return status;
}

template <class Result>
std::wstring TextOf(Result& r) {
  std::wstring text;
  r.Text(&text);
  return text;
}

// Opens the first pair of an implementation the way the add-in does.
std::shared_ptr<ITranslationEngine> Open(const std::wstring& impl, const std::wstring& engineId) {
  std::shared_ptr<IEngineFactory> factory;
  EXPECT_EQ(S_OK, CreateEngineFactory(&factory));
  EXPECT_EQ(S_OK, factory->SetImplementation(impl));
  std::shared_ptr<IEngineList> list;
  EXPECT_EQ(S_OK, factory->GetEngineList(engineId, L"", L"", 0, &list));
  EXPECT_EQ(kRequestDone, Wait(*factory));
  LONG count = 0;
  list->Count(&count);
  EXPECT_EQ(1, count);
  std::shared_ptr<IEngineListItem> item;
  EXPECT_EQ(S_OK, list->Item(1, &item));
  std::shared_ptr<ITranslationEngine> engine;
  EXPECT_EQ(S_OK, factory->GetEngine(item, &engine));
  EXPECT_EQ(kRequestDone, Wait(*factory));
  return engine;
}

}  // namespace

// The fake's properties refuse an index past the last, as the real list does.
TEST(FakeEngineSideTest, PropertiesRefuseAnIndexOutsideTheList) {
  FakeEngineSide side;
  side.AddImplementation(L"Props");
  std::shared_ptr<IEngineFactory> factory;
  ASSERT_EQ(S_OK, CreateEngineFactory(&factory));
  ASSERT_EQ(S_OK, factory->SetImplementation(L"Props"));
  std::shared_ptr<IClientProperties> props;
  ASSERT_EQ(S_OK, factory->Properties(&props));
  LONG count = 0;
  ASSERT_EQ(S_OK, props->Count(&count));
  std::shared_ptr<IClientProperty> prop;
  EXPECT_EQ(S_OK, props->Item(count, &prop));
  for (LONG index : {LONG{0}, count + 1}) EXPECT_EQ(DISP_E_BADINDEX, props->Item(index, &prop)) << index;
}

class FakeScriptTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& content) {
    std::string path = ::testing::TempDir() + "fake_engine_script.txt";
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
};

// (Dictionary entries and scripted requests are the end-to-end runs' daily
// fare.)
TEST_F(FakeScriptTest, ScriptFileRegistersAWorkingImplementation) {
  std::string path = Write(
      "# comment\n"
      "implementation\tScripted\n"
      "pair\ten-es\ten\tes\t0x9\tEnglish - Spanish\tScripted MT\tScr\n"
      "translation\tHello.\t\xC2\xA1Hola!\n"
      "transform\tbracket\n");
  std::wstring error;
  ASSERT_TRUE(fake_engine::RegisterFromFile(path, &error)) << platform::ToUtf8(error);
  ScopedClassHooks inProcess(InProcessClassHooks());
  auto engine = Open(L"Scripted", L"en-es");
  std::shared_ptr<ITranslationResult> result;
  engine->Translate(L"Hello.", 0, &result);
  ASSERT_EQ(kRequestDone, Wait(*engine));
  EXPECT_EQ(L"\u00A1Hola!", TextOf(*result));
  // Texts without an entry come back bracketed, each word corresponding to
  // itself inside the brackets.
  engine->Translate(L"big  dog", kTranslateModeCorrespondence, &result);
  ASSERT_EQ(kRequestDone, Wait(*engine));
  EXPECT_EQ(L"\u27E6big  dog\u27E7", TextOf(*result));
  std::vector<WordCorrespondence> groups;
  result->Correspondence(&groups);
  ASSERT_EQ(2u, groups.size());
  EXPECT_EQ((TextRange{5, 3}), groups[1].source[0]);
  EXPECT_EQ((TextRange{6, 3}), groups[1].translation[0]);
  UnregisterImplementation(L"Scripted");
}

TEST_F(FakeScriptTest, BadScriptsAreRejectedWithTheLineAndRegisterNothing) {
  std::wstring error;
  EXPECT_FALSE(fake_engine::RegisterFromFile(Write("implementation\tBad1\npair\tonly\tthree\n"), &error));
  EXPECT_NE(std::wstring::npos, error.find(L":2:"));
  EXPECT_FALSE(fake_engine::RegisterFromFile(Write("pair\ta\ten\tes\t1\tx\ty\tz\n"), &error));
  EXPECT_FALSE(fake_engine::RegisterFromFile(Write("implementation\tBad2\nrequest\ttranslate\t7\t0\t0\n"), &error));
  EXPECT_FALSE(fake_engine::RegisterFromFile(Write("implementation\tBad3\nfly\taway\n"), &error));
  EXPECT_FALSE(fake_engine::RegisterFromFile(Write("implementation\tBad4\ntransform\tsideways\n"), &error));
  EXPECT_FALSE(fake_engine::RegisterFromFile(::testing::TempDir() + "does/not/exist", &error));
  for (const auto& n : RegisteredImplementations()) EXPECT_NE(n.rfind(L"Bad", 0), 0u) << platform::ToUtf8(n);
}

// Implementations, helpers and their classes' registration last as long as
// the side. The fixture's private registry: a folder of its own on Linux;
// under Wine the real registry gets the keys and loses them again.
class FakeFamilyHelperTest : public enginetest::EngineEnvTest {};

TEST_F(FakeFamilyHelperTest, RegistrationsLastAsLongAsTheSide) {
  auto read = [](const std::wstring& path) {
    std::wstring value;
    return enginetest::GetString(platform::Hive::ClassesRoot, path, L"", &value) ? value : L"<missing>";
  };
  const std::wstring clsid = L"{6A1F0C55-3B8E-4C1D-9E2A-7F00000000A1}";
  {
    FakeEngineSide side;
    side.AddImplementation(L"Temporary");
    auto& helper = side.AddFamilyHelper(L"Varnel.Test.Helper");
    ASSERT_EQ(ERROR_SUCCESS, helper.RegisterInClassesRoot(clsid, L"C:\\Helpers\\Varnel.dll"));
    EXPECT_EQ(clsid, read(L"Varnel.Test.Helper\\CLSID"));
    EXPECT_EQ(L"C:\\Helpers\\Varnel.dll", read(L"CLSID\\" + clsid + L"\\InprocServer32"));
  }
  EXPECT_EQ(L"<missing>", read(L"Varnel.Test.Helper\\CLSID"));
  EXPECT_EQ(L"<missing>", read(L"CLSID\\" + clsid + L"\\InprocServer32"));
  for (const auto& n : RegisteredImplementations()) EXPECT_NE(L"Temporary", n);
  std::shared_ptr<IFamilyHelper> helper;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateInProcessFamilyHelper(L"Varnel.Test.Helper", &helper));
}
