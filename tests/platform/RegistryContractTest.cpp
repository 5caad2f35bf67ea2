// The registry contract, run over each hive against the platform's
// registry: the real one under Wine, the ".reg" file stand-in on Linux.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/platform/TestSupport.h"

using platform::Hive;
using platform::RegKey;
using platform::RegType;
using platform::RegValue;

namespace {

template <Hive H>
struct HiveTag {
  static constexpr Hive kHive = H;
};

std::wstring UniqueName() {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  return L"t" + std::to_wstring(stamp) + L"_" + std::to_wstring(counter++);
}

template <typename Tag>
class RegistryContract : public ::testing::Test {
 protected:
  static constexpr Hive kHive = Tag::kHive;

  // Each test gets its own hive files (posix) and its own key (everywhere;
  // on Windows the hive is shared with the rest of the system).
  RegistryContract()
      : mEnv(L"PELORANT_REGISTRY", mDir.wpath()), mRoot(L"Software\\PelorantContractTest\\" + UniqueName()) {}

  void SetUp() override {
    // A Windows user without administrator rights cannot write the machine hives.
    RegKey probe;
    if (RegKey::Create(kHive, mRoot, &probe) == ERROR_ACCESS_DENIED) GTEST_SKIP() << "hive not writable here";
  }

  ~RegistryContract() override { platform::DeleteKeyTree(kHive, mRoot); }

  RegKey CreateRoot() {
    RegKey key;
    EXPECT_EQ(RegKey::Create(kHive, mRoot, &key), ERROR_SUCCESS);
    return key;
  }
  // Opens the test's key, or one below it, for reading.
  LONG Open(const std::wstring& below, RegKey* key = nullptr) {
    RegKey scratch;
    return RegKey::Open(kHive, mRoot + below, false, key ? key : &scratch);
  }
  std::vector<std::wstring> Subkeys(const std::wstring& below) {
    RegKey key;
    std::vector<std::wstring> names;
    EXPECT_EQ(Open(below, &key), ERROR_SUCCESS);
    EXPECT_EQ(key.EnumSubkeys(&names), ERROR_SUCCESS);
    return names;
  }

  testsupport::TempDir mDir;
  platformtest::ScopedEnv mEnv;
  std::wstring mRoot;
};

using Hives = ::testing::Types<HiveTag<Hive::CurrentUser>, HiveTag<Hive::LocalMachine>, HiveTag<Hive::ClassesRoot>>;
TYPED_TEST_SUITE(RegistryContract, Hives);

TYPED_TEST(RegistryContract, CreateMakesParentsAndOpenIgnoresCase) {
  RegKey key;
  EXPECT_EQ(this->Open(L"\\Talvoren", &key), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(key.IsOpen());
  const std::wstring deep = this->mRoot + L"\\Talvoren\\OfficeAddIn\\RegV1";
  ASSERT_EQ(RegKey::Create(TestFixture::kHive, deep, &key), ERROR_SUCCESS);
  EXPECT_TRUE(key.IsOpen());
  EXPECT_EQ(this->Subkeys(L"\\TALVOREN\\officeaddin"), std::vector<std::wstring>{L"RegV1"});
  // Creating an existing key opens it, with the case it was created in.
  ASSERT_EQ(RegKey::Create(TestFixture::kHive, this->mRoot + L"\\talvoren", &key), ERROR_SUCCESS);
  EXPECT_EQ(this->Subkeys(L""), std::vector<std::wstring>{L"Talvoren"});
  // Subkeys enumerate in case-insensitive order.
  RegKey sub;
  for (const wchar_t* name : {L"beta", L"Alpha", L"gamma", L"ALPHA2"})
    ASSERT_EQ(key.CreateSubkey(name, &sub), ERROR_SUCCESS);
  EXPECT_EQ(this->Subkeys(L"\\Talvoren"),
            (std::vector<std::wstring>{L"Alpha", L"ALPHA2", L"beta", L"gamma", L"OfficeAddIn"}));
}

TYPED_TEST(RegistryContract, EveryValueTypeRoundTrips) {
  const std::pair<const wchar_t*, RegValue> values[] = {
      {L"Text", RegValue::String(L"C:\\Program Files\\\"quoted\" \x65E5\x672C\x8A9E")},
      {L"Empty", RegValue::String(L"")},
      {L"", RegValue::String(L"default value")},
      {L"Folder", RegValue::Expand(L"%temp%\\Talvoren\\AddinLog")},
      {L"List", RegValue::Multi({L"one", L"two words", L"\x00E9t\x00E9"})},
      {L"Max", RegValue::Dword(0xFFFFFFFFu)},
      {L"Big", RegValue::Qword(0x0123456789ABCDEFull)},
      {L"Blob", RegValue::Bytes({0x00, 0xFF, 0x10, 0x00, 0x7F})},
      // A value of the wrong size keeps its type and bytes.
      {L"Short", RegValue::Bytes({0x01, 0x00}, RegType::Dword)}};
  RegKey key = this->CreateRoot();
  for (const auto& [name, value] : values) ASSERT_EQ(key.SetValue(name, value), ERROR_SUCCESS);

  // A handle opened afterwards reads what was written, names in any case.
  RegKey reader;
  ASSERT_EQ(this->Open(L"", &reader), ERROR_SUCCESS);
  for (const auto& [name, value] : values) {
    RegValue v;
    ASSERT_EQ(reader.QueryValue(platform::AsciiLower(name), &v), ERROR_SUCCESS) << platform::ToUtf8(name);
    EXPECT_EQ(v.type, value.type) << platform::ToUtf8(name);
    EXPECT_EQ(platform::IsWellFormedValue(v), name != std::wstring(L"Short")) << platform::ToUtf8(name);
    EXPECT_EQ(platform::RegValueBytes(v), platform::RegValueBytes(value)) << platform::ToUtf8(name);
  }
  RegValue text, shortValue;
  ASSERT_EQ(reader.QueryValue(L"Text", &text), ERROR_SUCCESS);
  EXPECT_EQ(text.text, values[0].second.text);
  ASSERT_EQ(reader.QueryValue(L"Short", &shortValue), ERROR_SUCCESS);
  EXPECT_EQ(shortValue.dword, 0u);

  std::vector<std::wstring> names;
  ASSERT_EQ(reader.EnumValues(&names), ERROR_SUCCESS);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::wstring>{L"", L"Big", L"Blob", L"Empty", L"Folder", L"List", L"Max", L"Short", L"Text"}));
}

// Value names ignore case when set, queried or deleted; a handle opened for
// reading, or none, refuses writes.
TYPED_TEST(RegistryContract, ValueNamesIgnoreCaseAndReadOnlyHandlesRefuseWrites) {
  RegKey key = this->CreateRoot();
  RegValue v;
  RegKey reader, closed;
  ASSERT_EQ(this->Open(L"", &reader), ERROR_SUCCESS);
  EXPECT_EQ(reader.SetValue(L"X", RegValue::Dword(1)), ERROR_ACCESS_DENIED);
  EXPECT_NE(closed.SetValue(L"X", RegValue::Dword(1)), ERROR_SUCCESS);
  EXPECT_NE(closed.QueryValue(L"X", &v), ERROR_SUCCESS);
  EXPECT_EQ(key.QueryValue(L"X", &v), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.DeleteValue(L"X"), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(key.SetValue(L"LogLevel", RegValue::Dword(1)), ERROR_SUCCESS);
  ASSERT_EQ(key.SetValue(L"LOGLEVEL", RegValue::String(L"two")), ERROR_SUCCESS);
  ASSERT_EQ(key.SetValue(L"Gone", RegValue::Dword(7)), ERROR_SUCCESS);
  ASSERT_EQ(key.DeleteValue(L"GONE"), ERROR_SUCCESS);
  EXPECT_EQ(key.QueryValue(L"Gone", &v), ERROR_FILE_NOT_FOUND);
  std::vector<std::wstring> names;
  ASSERT_EQ(key.EnumValues(&names), ERROR_SUCCESS);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(platform::EqualsNoCase(names[0], L"loglevel"));
  ASSERT_EQ(key.QueryValue(L"loglevel", &v), ERROR_SUCCESS);
  EXPECT_EQ(v.type, RegType::Sz);
  EXPECT_EQ(v.text, L"two");
}

TYPED_TEST(RegistryContract, DeleteTreeRemovesEverythingBelowAndHandlesToItFail) {
  const Hive hive = TestFixture::kHive;
  RegKey root = this->CreateRoot();
  RegKey leaf;
  ASSERT_EQ(RegKey::Create(hive, this->mRoot + L"\\Sets\\default\\Inner", &leaf), ERROR_SUCCESS);
  ASSERT_EQ(leaf.SetValue(L"A", RegValue::String(L"a")), ERROR_SUCCESS);
  RegKey other;
  ASSERT_EQ(RegKey::Create(hive, this->mRoot + L"\\Other", &other), ERROR_SUCCESS);

  ASSERT_EQ(root.DeleteSubkeyTree(L"sets"), ERROR_SUCCESS);
  EXPECT_EQ(this->Open(L"\\Sets"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(this->Open(L"\\Other"), ERROR_SUCCESS);
  EXPECT_EQ(root.DeleteSubkeyTree(L"Sets"), ERROR_FILE_NOT_FOUND);

  ASSERT_EQ(platform::DeleteKeyTree(hive, this->mRoot + L"\\Other"), ERROR_SUCCESS);
  EXPECT_EQ(this->Open(L"\\Other"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(platform::DeleteKeyTree(hive, this->mRoot + L"\\Other"), ERROR_FILE_NOT_FOUND);
  // A handle of a deleted key fails without making the key again.
  RegValue v;
  EXPECT_NE(other.SetValue(L"Late", RegValue::Dword(1)), ERROR_SUCCESS);
  EXPECT_NE(other.QueryValue(L"Late", &v), ERROR_SUCCESS);
  EXPECT_EQ(this->Open(L"\\Other"), ERROR_FILE_NOT_FOUND);
}

}  // namespace
