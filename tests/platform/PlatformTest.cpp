// The platform layer on both platforms: what it keeps on disk (the registry,
// the file tables, the profile files) and the system services, with the
// same expectations for the Win32 implementation (under Wine) and the posix
// stand-ins.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <vector>

#include "src/platform/Clipboard.h"
#include "src/platform/ComError.h"
#include "src/platform/ConsoleMessageBox.h"
#include "src/platform/Display.h"
#include "src/platform/Files.h"
#include "src/platform/Fonts.h"
#include "src/platform/MessagePump.h"
#include "src/platform/ProfileDocument.h"
#include "src/platform/ProfileFile.h"
#include "src/platform/RegFile.h"
#include "src/platform/Registry.h"
#include "src/platform/ResourceModules.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "tests/common/Bytes.h"
#include "tests/common/FaultyFiles.h"
#include "tests/platform/TestSupport.h"

using namespace platform;
namespace fs = std::filesystem;
using platform::regfile::Key;
using platform::regfile::Parse;
using platform::regfile::Serialize;
using platformtest::ScopedEnv;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

// What the platform keeps on disk: the registry (its ".reg" text form, the
// contract over each hive, and what only the file-backed registry has), the
// file tables, and the profile files.
// The registry: the ".reg" text form that the posix registry keeps its hives
// in; the contract run over each hive against the platform's registry (the
// real one under Wine, the ".reg" file stand-in on Linux); and what only the
// file-backed registry has: the hive files themselves, their rescue when
// they cannot be parsed, and several processes writing at once (skipped
// where the registry has no files).
const wchar_t kHkcu[] = L"HKEY_CURRENT_USER";

std::string HiveText(const std::string& body) { return "Windows Registry Editor Version 5.00\r\n\r\n" + body; }

RegValue ValueAt(const Key& root, const wchar_t* path, const wchar_t* name) {
  const Key* k = root.Find(path);
  const platform::regfile::Value* v = k ? k->FindValue(name) : nullptr;
  return v ? platform::RegValueFromBytes(v->type, v->data) : RegValue{};
}

// A tree as text: each key's name (case folded), then each value's name,
// type and bytes, then its subkeys.
std::string Dump(const Key& k) {
  std::string out = "[" + platform::ToUtf8(platform::AsciiLower(k.name)) + "]";
  for (const auto& v : k.values)
    out += platform::ToUtf8(v.name) + "=" + std::to_string(static_cast<int>(v.type)) + ":" +
           std::string(v.data.begin(), v.data.end()) + ";";
  for (const Key& sub : k.subkeys) out += Dump(sub);
  return out;
}

// The same export as UTF-8 with its mark and as the UTF-16 that regedit writes.
TEST(RegFile, ReadsARegeditExport) {
  const std::string utf8 =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; written by hand\r\n"
      "[HKEY_CURRENT_USER\\Software\\Talvoren\\OfficeAddIn]\r\n"
      "@=\"default\"\r\n"
      "\"OfficeAddinLog\"=dword:00000001\r\n"
      "\"LogFolderPath\"=hex(2):25,00,74,00,65,00,6d,00,70,00,25,00,5c,00,78,00,00,00\r\n"
      "\"Path\"=\"C:\\\\Program Files\\\\\\\"A\\\"\"\r\n"
      "\"List\"=hex(7):61,00,00,00,62,00,63,00,00,00,00,00\r\n"
      "\"Big\"=hex(b):ef,cd,ab,89,67,45,23,01\r\n"
      "\"Blob\"=hex:00,01,02,\\\r\n"
      "  03,04\r\n"
      "\"Gone\"=\"x\"\r\n"
      "\"Gone\"=-\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Old\\Child]\r\n"
      "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
      "[hkey_current_user\\software\\Talvoren\\OfficeAddIn\\RegV1]\r\n"
      "\"Caf\xC3\xA9\"=\"\xE6\x97\xA5\xE6\x9C\xAC\"\r\n";
  const std::string utf16 = "\xFF\xFE" + platform::ToUtf16Le(platform::FromUtf8(utf8));
  for (const std::string& text : {"\xEF\xBB\xBF" + utf8, utf16}) {
    SCOPED_TRACE(text == utf16 ? "UTF-16" : "UTF-8");
    Key root;
    root.name = kHkcu;
    auto result = Parse(text, kHkcu, &root);
    ASSERT_TRUE(result.ok) << result.line << ": " << result.message;
    const wchar_t* key = L"Software\\Talvoren\\OfficeAddIn";
    EXPECT_EQ(ValueAt(root, key, L"").text, L"default");
    EXPECT_EQ(ValueAt(root, key, L"officeaddinlog").type, RegType::Dword);
    EXPECT_EQ(ValueAt(root, key, L"officeaddinlog").dword, 1u);
    EXPECT_EQ(ValueAt(root, key, L"LogFolderPath").type, RegType::ExpandSz);
    EXPECT_EQ(ValueAt(root, key, L"LogFolderPath").text, L"%temp%\\x");
    EXPECT_EQ(ValueAt(root, key, L"Path").text, L"C:\\Program Files\\\"A\"");
    EXPECT_EQ(ValueAt(root, key, L"List").multi, (std::vector<std::wstring>{L"a", L"bc"}));
    EXPECT_EQ(ValueAt(root, key, L"Big").qword, 0x0123456789ABCDEFull);
    EXPECT_EQ(ValueAt(root, key, L"Blob").binary, (std::vector<std::uint8_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(root.Find(key)->FindValue(L"Gone"), nullptr);
    EXPECT_EQ(root.Find(L"Software\\Old"), nullptr);
    EXPECT_EQ(ValueAt(root, L"Software\\Talvoren\\OfficeAddIn\\RegV1", L"Caf\x00E9").text, L"\x65E5\x672C");
  }
}

TEST(RegFile, EverythingSurvivesARoundTripInTheRegeditSyntaxWithHandWrittenComments) {
  Key root;
  root.name = kHkcu;
  Key& k = root.AddSubkey(L"Software").AddSubkey(L"\x65E5\x672C [x]");
  k.SetValue(L"Lines", RegType::Sz, platform::RegValueBytes(RegValue::String(L"one\r\ntwo")));
  k.SetValue(L"Unterminated", RegType::Sz, {0x41, 0x00});
  k.SetValue(L"ShortDword", RegType::Dword, {0x01, 0x02});
  k.SetValue(L"Empty", RegType::Binary, {});
  std::vector<std::uint8_t> big(300);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i);
  k.SetValue(L"Big\\Blob", RegType::Binary, big);
  k.SetValue(L"Odd", static_cast<RegType>(0x1234), {9, 8, 7});
  root.AddSubkey(L"Empty Key");
  root.SetValue(L"AtRoot", RegType::Sz, platform::RegValueBytes(RegValue::String(L"r")));

  std::string text = Serialize(root, kHkcu);
  Key back;
  back.name = kHkcu;
  auto result = Parse(text, kHkcu, &back);
  ASSERT_TRUE(result.ok) << result.line << ": " << result.message << "\n" << text;
  EXPECT_EQ(Dump(back), Dump(root));
  EXPECT_EQ(Serialize(back, kHkcu), text);

  // Values added to a hand-written file come out in the regedit syntax, and
  // the hand-written comments stay where they were.
  const std::string handWritten =
      "Windows Registry Editor Version 5.00\n"
      "\n; the add-in's settings\n"
      "[HKEY_CURRENT_USER\\Software\\Talvoren]\n"
      "; switched on while chasing a bug\n"
      "\"OfficeAddinLog\"=dword:00000001\n"
      "\n; the end\n";
  Key edited;
  edited.name = kHkcu;
  ASSERT_TRUE(Parse(handWritten, kHkcu, &edited).ok);
  Key& talvoren = *edited.Find(L"Software\\Talvoren");
  talvoren.SetValue(L"LogLevel", RegType::Dword, platform::RegValueBytes(RegValue::Dword(26)));
  talvoren.SetValue(L"Name \"q\"", RegType::Sz, platform::RegValueBytes(RegValue::String(L"C:\\x")));
  talvoren.SetValue(L"", RegType::ExpandSz, platform::RegValueBytes(RegValue::Expand(L"%a%")));
  EXPECT_EQ(Serialize(edited, kHkcu),
            "Windows Registry Editor Version 5.00\n"
            "\n[HKEY_CURRENT_USER\\Software]\n"
            "\n; the add-in's settings\n"
            "[HKEY_CURRENT_USER\\Software\\Talvoren]\n"
            "; switched on while chasing a bug\n"
            "\"OfficeAddinLog\"=dword:00000001\n"
            "\"LogLevel\"=dword:0000001a\n"
            "\"Name \\\"q\\\"\"=\"C:\\\\x\"\n"
            "@=hex(2):25,00,61,00,25,00,00,00\n"
            "\n; the end\n");
}

TEST(RegFile, BadInputAndTooDeepKeysAreRefusedWithTheirLineAndWideHivesFoundInAnyCase) {
  auto nested = [](int depth) {
    std::string path = "[HKEY_CURRENT_USER";
    for (int i = 0; i < depth; ++i) path += "\\k";
    return HiveText(path + "]\r\n\"v\"=\"x\"\r\n");
  };
  const std::pair<std::string, int> cases[] = {
      {"REGEDIT5\n[HKEY_CURRENT_USER\\A]\n", 1},
      {"Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n", 3},
      {"Windows Registry Editor Version 5.00\n\"v\"=\"x\"\n", 2},
      {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"v\"=hex:0g\n", 3},
      {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"open\n", 3},
      {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:123456789\n", 3},
      {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"v\"=hex:01,\\\n", 3},
      {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A\n", 2},
      {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\ngarbage\n", 3},
      // Bytes that are not UTF-8 are refused, never replaced.
      {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"caf\xE9\"\n", 3},
      // Nor are overlong forms and encoded surrogates, which hide other characters.
      {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"\xC0\xAF\"\n", 3},
      {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"\xE0\x80\xAF\"\n", 3},
      {"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"\xED\xA0\x80\"\n", 3},
      // Found by fuzzing: a key nested tens of thousands of levels deep
      // overflowed the stack when written back (and would have written a file
      // the square of its size): keys deeper than the registry's 512 levels
      // are refused with their line.
      {nested(60000), 3},
  };
  for (const auto& [text, line] : cases) {
    Key root;
    root.name = kHkcu;
    auto result = Parse(text, kHkcu, &root);
    EXPECT_EQ(std::tuple(result.ok, result.line, result.message.empty()), std::tuple(false, line, false))
        << text.substr(0, 100);
  }
  Key empty;
  EXPECT_TRUE(Parse("", kHkcu, &empty).ok);
  EXPECT_TRUE(Parse("Windows Registry Editor Version 5.00\n", kHkcu, &empty).ok);

  // The deepest keys the registry holds are kept, and written back.
  Key kept;
  ASSERT_TRUE(Parse(nested(512), kHkcu, &kept).ok);
  Key again;
  ASSERT_TRUE(Parse(Serialize(kept, kHkcu), kHkcu, &again).ok);
  const Key* leaf = &again;
  for (int i = 0; i < 512 && leaf; ++i) leaf = leaf->FindSubkey(L"K");
  ASSERT_NE(leaf, nullptr);
  EXPECT_NE(leaf->FindValue(L"v"), nullptr);

  // Sub-keys are found by binary search over their sorted order, so that wide
  // hives read in n log n; every key of a wide hive, in any case, is found.
  std::string body;
  for (int i = 2999; i >= 0; --i) body += "[HKEY_CURRENT_USER\\Key" + std::to_string(i * 7919 % 3000) + "]\r\n";
  Key wide;
  ASSERT_TRUE(Parse(HiveText(body), kHkcu, &wide).ok);
  ASSERT_EQ(wide.subkeys.size(), 3000u);
  for (int i = 0; i < 3000; ++i) {
    std::wstring name = (i % 2 ? L"KEY" : L"key") + std::to_wstring(i);
    ASSERT_NE(wide.FindSubkey(name), nullptr) << i;
  }
  EXPECT_EQ(wide.FindSubkey(L"Key3000"), nullptr);
  EXPECT_EQ(wide.FindSubkey(L"Ke"), nullptr);
}

template <typename Tag>
class RegistryContract : public ::testing::Test {
 protected:
  static constexpr Hive kHive = Tag::value;

  // Each test gets its own hive files (posix) and its own key (everywhere;
  // on Windows the hive is shared with the rest of the system, and with
  // earlier runs).
  RegistryContract()
      : mEnv(L"PELORANT_REGISTRY", mDir.wpath()),
        mRoot(L"Software\\PelorantContractTest\\t" +
              std::to_wstring(std::chrono::steady_clock::now().time_since_epoch().count())) {}

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

template <Hive H>
using HiveTag = std::integral_constant<Hive, H>;
using Hives = ::testing::Types<HiveTag<Hive::CurrentUser>, HiveTag<Hive::LocalMachine>, HiveTag<Hive::ClassesRoot>>;
TYPED_TEST_SUITE(RegistryContract, Hives);

TYPED_TEST(RegistryContract, CreateMakesParentsOpenIgnoresCaseAndEveryValueTypeRoundTrips) {
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
  RegKey root = this->CreateRoot();
  for (const auto& [name, value] : values) ASSERT_EQ(root.SetValue(name, value), ERROR_SUCCESS);

  // A handle opened afterwards reads what was written, names in any case.
  RegKey reader;
  ASSERT_EQ(this->Open(L"", &reader), ERROR_SUCCESS);
  for (const auto& [name, value] : values) {
    RegValue v;
    ASSERT_EQ(reader.QueryValue(platform::AsciiLower(name), &v), ERROR_SUCCESS) << platform::ToUtf8(name);
    // What it reads as: a value of the wrong size reads as no number.
    EXPECT_EQ(std::tie(v.type, v.text, v.multi, v.dword, v.qword),
              std::tie(value.type, value.text, value.multi, value.dword, value.qword))
        << platform::ToUtf8(name);
    EXPECT_EQ(platform::IsWellFormedValue(v), name != std::wstring(L"Short")) << platform::ToUtf8(name);
    EXPECT_EQ(platform::RegValueBytes(v), platform::RegValueBytes(value)) << platform::ToUtf8(name);
  }

  std::vector<std::wstring> names;
  ASSERT_EQ(reader.EnumValues(&names), ERROR_SUCCESS);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::wstring>{L"", L"Big", L"Blob", L"Empty", L"Folder", L"List", L"Max", L"Short", L"Text"}));
}

// Value names ignore case when set, queried or deleted; a handle opened for
// reading, or none, refuses writes.
TYPED_TEST(RegistryContract, ValueNamesIgnoreCaseReadOnlyHandlesRefuseWritesAndDeleteTreeRemovesAllBelow) {
  RegKey key = this->CreateRoot();
  RegValue v;
  RegKey reader, closed;
  ASSERT_EQ(this->Open(L"", &reader), ERROR_SUCCESS);
  EXPECT_EQ(
      (std::vector<LONG>{reader.SetValue(L"X", RegValue::Dword(1)), key.QueryValue(L"X", &v), key.DeleteValue(L"X")}),
      (std::vector<LONG>{ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND}));
  EXPECT_FALSE(closed.SetValue(L"X", RegValue::Dword(1)) == ERROR_SUCCESS ||
               closed.QueryValue(L"X", &v) == ERROR_SUCCESS);
  // Set, set again under another case, set and deleted under another case.
  EXPECT_EQ((std::vector<LONG>{key.SetValue(L"LogLevel", RegValue::Dword(1)),
                               key.SetValue(L"LOGLEVEL", RegValue::String(L"two")),
                               key.SetValue(L"Gone", RegValue::Dword(7)), key.DeleteValue(L"GONE"),
                               key.QueryValue(L"Gone", &v)}),
            (std::vector<LONG>{ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_FILE_NOT_FOUND}));
  std::vector<std::wstring> names;
  ASSERT_EQ(key.EnumValues(&names), ERROR_SUCCESS);
  ASSERT_EQ(key.QueryValue(L"loglevel", &v), ERROR_SUCCESS);
  EXPECT_EQ(std::tuple(names, v.type, v.text), std::tuple(std::vector<std::wstring>{L"LogLevel"}, RegType::Sz, L"two"));

  const Hive hive = TestFixture::kHive;
  const std::wstring sets = this->mRoot + L"\\Sets\\default\\Inner", other = this->mRoot + L"\\Other";
  RegKey leaf, otherKey;
  ASSERT_EQ((std::vector<LONG>{RegKey::Create(hive, sets, &leaf), leaf.SetValue(L"A", RegValue::String(L"a")),
                               RegKey::Create(hive, other, &otherKey)}),
            std::vector<LONG>(3, ERROR_SUCCESS));
  // A tree deleted below a handle (the other key stays) and again; one
  // deleted by its path, opened, and deleted again.
  EXPECT_EQ((std::vector<LONG>{key.DeleteSubkeyTree(L"sets"), this->Open(L"\\Sets"), this->Open(L"\\Other"),
                               key.DeleteSubkeyTree(L"Sets"), platform::DeleteKeyTree(hive, other),
                               this->Open(L"\\Other"), platform::DeleteKeyTree(hive, other)}),
            (std::vector<LONG>{ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_SUCCESS,
                               ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND}));
  // A handle of a deleted key fails without making the key again.
  EXPECT_FALSE(otherKey.SetValue(L"Late", RegValue::Dword(1)) == ERROR_SUCCESS ||
               otherKey.QueryValue(L"Late", &v) == ERROR_SUCCESS);
  EXPECT_EQ(this->Open(L"\\Other"), ERROR_FILE_NOT_FOUND);
}

class RegistryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    if (platform::RegistryHiveFile(Hive::CurrentUser).empty()) GTEST_SKIP() << "the registry has no files here";
  }
  fs::path HiveFile(Hive hive) { return fs::path(platform::ToUtf8(platform::RegistryHiveFile(hive))); }

  testsupport::TempDir mDir;
  platformtest::ScopedEnv mEnv{L"PELORANT_REGISTRY", mDir.wpath()};
};

// Each hive is a file in the chosen folder, written only when it changes
// (through a link where it is one) and leaving no temporary file, and read
// again when changed by hand.
TEST_F(RegistryFile, EachHiveIsAFileWrittenWhenChangedAndReadAgainWhenChangedByHand) {
  EXPECT_EQ(std::tuple(HiveFile(Hive::CurrentUser), HiveFile(Hive::LocalMachine), HiveFile(Hive::ClassesRoot)),
            std::tuple(mDir.path() / "HKCU.reg", mDir.path() / "HKLM.reg", mDir.path() / "HKCR.reg"));
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, L"Software\\Talvoren", &key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetValue(L"LogLevel", RegValue::Dword(1)), ERROR_SUCCESS);
  EXPECT_FALSE(fs::exists(HiveFile(Hive::CurrentUser)));
  for (const auto& entry : fs::directory_iterator(mDir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  EXPECT_NE(testsupport::ReadBytes(HiveFile(Hive::LocalMachine)).find("\"LogLevel\"=dword:00000001"),
            std::string::npos);

  std::ofstream(HiveFile(Hive::LocalMachine), std::ios::binary | std::ios::trunc)
      << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Talvoren]\n"
         "\"LogLevel\"=dword:00000fa1\n\"Extra\"=\"typed in an editor\"\n";
  RegValue level, extra;
  ASSERT_EQ(key.QueryValue(L"LogLevel", &level), ERROR_SUCCESS);
  ASSERT_EQ(key.QueryValue(L"Extra", &extra), ERROR_SUCCESS);
  EXPECT_EQ(std::pair(level.dword, extra.text), std::pair(4001u, std::wstring(L"typed in an editor")));

  testsupport::TempDir elsewhere;
  fs::path real = elsewhere.path() / "my-hkcu.reg";
  std::ofstream(real) << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Old]\n\"Kept\"=\"yes\"\n";
  std::error_code ec;
  fs::create_symlink(real, mDir.path() / "HKCU.reg", ec);
  if (ec) GTEST_SKIP() << "no symbolic links here";
  ASSERT_EQ(RegKey::Create(Hive::CurrentUser, L"New", &key), ERROR_SUCCESS);
  EXPECT_TRUE(fs::is_symlink(mDir.path() / "HKCU.reg"));
  std::string text = testsupport::ReadBytes(real);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\New]"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Kept\"=\"yes\""), std::string::npos) << text;
}

TEST_F(RegistryFile, UnparsableHiveIsMovedAsideOnceAndAFailedReadWriteOrRescueChangesNothing) {
  const std::string garbage = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"v\"=hex:zz\n";
  std::ofstream(HiveFile(Hive::CurrentUser), std::ios::binary) << garbage;
  std::vector<std::wstring> reports;
  auto previous = platform::SetDiagnosticSink([&](const std::wstring& m) { reports.push_back(m); });

  RegKey key;
  ASSERT_EQ((std::vector<LONG>{RegKey::Open(Hive::CurrentUser, L"A", false, &key),
                               RegKey::Open(Hive::CurrentUser, L"A", false, &key),
                               RegKey::Create(Hive::CurrentUser, L"B", &key), key.SetValue(L"v", RegValue::Dword(2))}),
            (std::vector<LONG>{ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, ERROR_SUCCESS, ERROR_SUCCESS}));
  platform::SetDiagnosticSink(previous);

  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find(L"HKCU.reg"), std::wstring::npos);
  EXPECT_NE(reports[0].find(L"line 3"), std::wstring::npos) << platform::ToUtf8(reports[0]);
  std::vector<fs::path> aside;
  for (const auto& entry : fs::directory_iterator(mDir.path())) {
    if (entry.path().filename().string().rfind("HKCU.reg.bad-", 0) == 0) aside.push_back(entry.path());
  }
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(testsupport::ReadBytes(aside[0]), garbage);
  EXPECT_NE(reports[0].find(aside[0].filename().wstring()), std::wstring::npos);
  EXPECT_NE(testsupport::ReadBytes(HiveFile(Hive::CurrentUser)).find("[HKEY_CURRENT_USER\\B]"), std::string::npos);

  // A write the disk refuses, a hive that cannot be read again (rewritten,
  // as by another process, since it was last read), and one that can be
  // neither parsed nor moved aside: the change fails with its own error, the
  // hive file stays as it was, and the key is not served from memory either.
  using testsupport::FaultyFiles;
  const std::tuple<const char*, unsigned, LONG, std::string> cases[] = {
      {"write", FaultyFiles::kWrite, ERROR_WRITE_FAULT, ""},
      {"read", FaultyFiles::kRead, ERROR_CANTREAD, ""},
      {"keep aside", FaultyFiles::kKeepAside, ERROR_BADDB,
       "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"v\"=hex:zz\n"},
  };
  const fs::path hive = HiveFile(Hive::CurrentUser);
  auto quiet = platform::SetDiagnosticSink([](const std::wstring&) {});
  for (const auto& [what, failing, error, garbage] : cases) {
    SCOPED_TRACE(what);
    RegKey key;
    ASSERT_EQ(RegKey::Create(Hive::CurrentUser, L"Kept", &key), ERROR_SUCCESS);
    const std::string before = garbage.empty() ? testsupport::ReadBytes(hive) : garbage;
    fs::remove(hive);
    ASSERT_TRUE(testsupport::WriteBytes(hive, before));
    {
      FaultyFiles disk(failing, ERROR_WRITE_FAULT);
      EXPECT_EQ(RegKey::Create(Hive::CurrentUser, L"New", &key), error);
      EXPECT_GT(disk.Failures(), 0);
    }
    EXPECT_EQ(testsupport::ReadBytes(hive), before);
    EXPECT_EQ(RegKey::Open(Hive::CurrentUser, L"New", false, &key), ERROR_FILE_NOT_FOUND);
  }
  platform::SetDiagnosticSink(quiet);
}

// A FIFO (which would block a plain read), a sparse file larger than any
// hive, and a link to a device stand where the hive should be: reads and
// writes must each return (a FIFO would block a plain open or read for
// ever), report once, and leave the file as it was.
TEST_F(RegistryFile, WhatIsNoHiveFileIsRefusedWithoutWaiting) {
  const fs::path hive = HiveFile(Hive::CurrentUser);
  const std::tuple<const char*, std::function<bool()>, std::wstring> cases[] = {
      {"fifo", [&] { return std::system(("mkfifo '" + hive.string() + "'").c_str()) == 0; }, L"HKCU.reg"},
      {"large",
       [&] {
         std::ofstream(hive) << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n";
         fs::resize_file(hive, (64u << 20) + 1);  // sparse: no disk used
         return true;
       },
       L"HKCU.reg"},
      {"device",
       [&] {
         std::error_code ec;
         fs::create_symlink("/dev/zero", hive, ec);
         return !ec;
       },
       L"/dev/zero"},
  };
  for (const auto& [what, make, named] : cases) {
    SCOPED_TRACE(what);
    fs::remove(hive);
    if (!make()) continue;  // no mkfifo or links here
    const fs::file_status before = fs::status(hive);
    const auto sizeBefore = fs::is_regular_file(before) ? fs::file_size(hive) : 0;
    std::vector<std::wstring> reports;
    auto previous = platform::SetDiagnosticSink([&](const std::wstring& m) { reports.push_back(m); });
    std::vector<LONG> rc = platformtest::ReturnsWithin(std::chrono::seconds(60), "using the hive", [] {
      RegKey key;
      std::vector<LONG> rc;
      rc.push_back(RegKey::Open(Hive::CurrentUser, L"A", false, &key));
      rc.push_back(RegKey::Create(Hive::CurrentUser, L"B", &key));
      {
        platform::RegBatch batch(Hive::CurrentUser);
        rc.push_back(RegKey::Create(Hive::CurrentUser, L"C", &key));
      }
      rc.push_back(RegKey::Open(Hive::CurrentUser, L"B", false, &key));
      return rc;
    });
    platform::SetDiagnosticSink(previous);
    EXPECT_TRUE(rc[0] == ERROR_FILE_NOT_FOUND && rc[1] != ERROR_SUCCESS && rc[2] != ERROR_SUCCESS &&
                rc[3] == ERROR_FILE_NOT_FOUND)
        << rc[0] << " " << rc[1] << " " << rc[2] << " " << rc[3];
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(named), std::wstring::npos) << platform::ToUtf8(reports[0]);
    EXPECT_EQ(std::pair(fs::status(hive).type(), fs::is_regular_file(before) ? fs::file_size(hive) : 0),
              std::pair(before.type(), sizeBefore));
    for (const auto& entry : fs::directory_iterator(mDir.path()))
      EXPECT_EQ(entry.path().filename().string().find(".bad-"), std::string::npos) << entry.path();
  }
  EXPECT_TRUE(fs::is_character_file("/dev/zero"));
}

TEST_F(RegistryFile, BatchWritesOnceOnCommitAndNothingWhenAbandoned) {
  RegKey key;
  const std::uint64_t start = platform::RegistryRewriteCount();
  {
    platform::RegBatch outer(Hive::CurrentUser);
    ASSERT_EQ(RegKey::Create(Hive::CurrentUser, L"Batch\\Deep", &key), ERROR_SUCCESS);
    ASSERT_EQ(key.SetValue(L"a", RegValue::Dword(1)), ERROR_SUCCESS);
    {
      platform::RegBatch inner(Hive::CurrentUser);
      ASSERT_EQ(key.SetValue(L"b", RegValue::String(L"two")), ERROR_SUCCESS);
      EXPECT_EQ(inner.Commit(), ERROR_SUCCESS);
    }
    RegValue v;
    EXPECT_EQ(key.QueryValue(L"b", &v), ERROR_SUCCESS) << "the batch reads its own changes";
    EXPECT_FALSE(fs::exists(HiveFile(Hive::CurrentUser))) << "nothing is written before the commit";
    EXPECT_EQ(outer.Commit(), ERROR_SUCCESS);
  }
  EXPECT_EQ(platform::RegistryRewriteCount() - start, 1u);
  std::string text = testsupport::ReadBytes(HiveFile(Hive::CurrentUser));
  EXPECT_NE(text.find("\"b\"=\"two\""), std::string::npos) << text;

  {
    platform::RegBatch abandoned(Hive::CurrentUser);
    ASSERT_EQ(key.SetValue(L"c", RegValue::Dword(3)), ERROR_SUCCESS);
    ASSERT_EQ(key.DeleteValue(L"a"), ERROR_SUCCESS);
  }
  EXPECT_EQ(testsupport::ReadBytes(HiveFile(Hive::CurrentUser)), text);
  RegValue v;
  EXPECT_EQ(std::tuple(key.QueryValue(L"c", &v), key.QueryValue(L"a", &v), platform::RegistryRewriteCount() - start),
            std::tuple(ERROR_FILE_NOT_FOUND, ERROR_SUCCESS, 1u));
}

// Writes the values prefix0 to prefix29 into the key "Shared", one change
// (one rewrite of the hive) each.
void WriteShared(const std::wstring& prefix) {
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::CurrentUser, L"Shared", &key), ERROR_SUCCESS);
  for (int i = 0; i < 30; ++i) ASSERT_EQ(key.SetValue(prefix + std::to_wstring(i), RegValue::Dword(1)), ERROR_SUCCESS);
}

// Run as a child process by the test below; a no-op in a normal run.
TEST_F(RegistryFile, WriterProcess) {
  std::wstring prefix = platform::GetEnvironmentValue(L"PELORANT_TEST_WRITER");
  if (prefix.empty()) GTEST_SKIP() << "only run as a child of ProcessesWritingAtOnceKeepEveryValue";
  platformtest::ScopedEnv dir(L"PELORANT_REGISTRY", platform::GetEnvironmentValue(L"PELORANT_TEST_WRITER_DIR"));
  WriteShared(prefix);
}

TEST_F(RegistryFile, ProcessesWritingAtOnceKeepEveryValue) {
  const std::string child = "PELORANT_TEST_WRITER_DIR='" + mDir.path().string() + "' timeout 120 '" +
                            platform::ToUtf8(platform::ModuleFilePath()) +
                            "' --gtest_filter=RegistryFile.WriterProcess >/dev/null 2>&1";
  std::vector<std::future<int>> children;
  for (std::string prefix : {"child0_", "child1_"}) {
    children.push_back(std::async(
        std::launch::async, [=] { return std::system(("PELORANT_TEST_WRITER=" + prefix + " " + child).c_str()); }));
  }
  WriteShared(L"parent_");
  for (auto& status : children) EXPECT_EQ(status.get(), 0);
  RegKey key;
  ASSERT_EQ(RegKey::Open(Hive::CurrentUser, L"Shared", false, &key), ERROR_SUCCESS);
  std::vector<std::wstring> names;
  ASSERT_EQ(key.EnumValues(&names), ERROR_SUCCESS);
  EXPECT_EQ(names.size(), 90u);
}

// Files on both platforms: the file tables, and the profile files of the
// system's service against the portable document rules.
using Lines = std::vector<std::wstring>;

// What every file table keeps to: the platform's own (posix here, win32
// under Wine) and a wrapper over it, which tests use to inject failures and
// which must change nothing it does not override.
constexpr DWORD kOk = ERROR_SUCCESS;

struct OwnFiles {
  platform::Files& files = platform::PlatformFiles();
};
struct WrappedFiles {
  platform::FilesWrapper wrapper{platform::PlatformFiles()};
  platform::Files& files = wrapper;
};

template <typename T>
class FileTableContract : public ::testing::Test {
 protected:
  std::wstring Path(const std::wstring& name) const { return platform::JoinPath(mDir.wpath(), name); }
  // Names in the folder, sorted, so a test sees any temporary file left behind.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(mDir.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  platform::Files& Files() { return mImpl.files; }

  testsupport::TempDir mDir;
  T mImpl;
};

using Implementations = ::testing::Types<OwnFiles, WrappedFiles>;
TYPED_TEST_SUITE(FileTableContract, Implementations);

TYPED_TEST(FileTableContract, ReadsARegularFileWholeAndRefusesWhatIsNone) {
  const std::wstring file = this->Path(L"d\x00E9j\x00E0.bin");  // a non-ASCII name
  const std::string bytes("a\0b\r\n\xFF", 6);
  ASSERT_TRUE(WriteBytes(file, bytes));
  std::string out = "untouched";
  EXPECT_EQ(this->Files().ReadFile(file, 6, &out), kOk);
  EXPECT_EQ(out, bytes);
  EXPECT_EQ(this->Files().Kind(file), FileKind::Regular);

  const std::tuple<std::wstring, size_t, DWORD> cases[] = {
      {file, 5, ERROR_FILE_TOO_LARGE},
      {this->Path(L"absent"), 100, ERROR_FILE_NOT_FOUND},
      {this->mDir.wpath(), 100, ERROR_ACCESS_DENIED},
  };
  for (const auto& [path, cap, error] : cases) {
    out = "untouched";
    EXPECT_EQ(this->Files().ReadFile(path, cap, &out), error) << platform::ToUtf8(path);
    EXPECT_EQ(out, "untouched") << "nothing is written on failure";
  }
}

// An atomic write creates or replaces the whole file and leaves no
// temporary file; a missing folder, and a folder where the file should be,
// change nothing. Folders are made with their parents, once, never over a file.
TYPED_TEST(FileTableContract, AtomicWritesReplaceWholeFilesAndFoldersAreMadeWithTheirParents) {
  const std::wstring file = this->Path(L"data.txt");
  for (const std::string& bytes : {std::string("first version, long"), std::string("2\0", 2), std::string()}) {
    ASSERT_EQ(this->Files().WriteAtomically(file, bytes, {}), kOk);
    EXPECT_EQ(ReadBytes(file), bytes);
  }
  EXPECT_EQ(this->Names(), std::vector<std::string>{"data.txt"});
  EXPECT_NE(this->Files().WriteAtomically(this->Path(L"no-such/x.txt"), "x", {}), kOk);
  const std::wstring deep = this->Path(L"sub") + platform::PathSeparator() + L"b" + platform::PathSeparator() + L"c";
  // Made, made again (an existing folder is fine), and over a file.
  EXPECT_EQ((std::vector<DWORD>{this->Files().CreateFolders(deep), this->Files().CreateFolders(deep),
                                this->Files().CreateFolders(file)}),
            (std::vector<DWORD>{kOk, kOk, ERROR_FILE_EXISTS}));
  EXPECT_NE(this->Files().WriteAtomically(this->Path(L"sub"), "x", {}), kOk);
  EXPECT_EQ(std::pair(this->Files().Kind(deep), this->Files().Kind(this->Path(L"sub"))),
            std::pair(FileKind::Folder, FileKind::Folder));
  EXPECT_EQ(ReadBytes(file), "");
  EXPECT_EQ(this->Names(), (std::vector<std::string>{"data.txt", "sub"}));
}

TYPED_TEST(FileTableContract, AWriterCommitsOnlyWhatItFinishedAndKeepingAsideNeverReplacesACopy) {
  const std::wstring file = this->Path(L"deck.pptx");
  ASSERT_TRUE(WriteBytes(file, "old"));
  auto writes = [](const std::string& bytes, bool result) {
    return [=](const std::wstring& temp) { return WriteBytes(temp, bytes) && result; };
  };
  EXPECT_EQ(this->Files().WriteAtomicallyWith(file, writes("half", false), {}), static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_THROW(this->Files().WriteAtomicallyWith(
                   file, [](const std::wstring& temp) -> bool { throw std::runtime_error("writer failed"); }, {}),
               std::runtime_error);
  EXPECT_EQ(ReadBytes(file), "old");
  EXPECT_EQ(this->Names(), std::vector<std::string>{"deck.pptx"});
  ASSERT_EQ(this->Files().WriteAtomicallyWith(file, writes("new", true), {}), kOk);
  EXPECT_EQ(ReadBytes(file), "new");
  EXPECT_EQ(this->Names(), std::vector<std::string>{"deck.pptx"});

  const std::wstring cache = this->Path(L"cache.tsv");
  std::vector<std::wstring> moved;
  for (const char* content : {"one", "two", "three"}) {
    ASSERT_TRUE(WriteBytes(cache, content));
    std::wstring to;
    ASSERT_EQ(this->Files().KeepAside(cache, L".damaged", &to), kOk);
    moved.push_back(to);
  }
  EXPECT_EQ(moved, (std::vector<std::wstring>{cache + L".damaged", cache + L".damaged-1", cache + L".damaged-2"}));
  EXPECT_EQ(std::tuple(ReadBytes(moved.at(0)), ReadBytes(moved.at(2)), this->Files().Kind(cache)),
            std::tuple("one", "three", FileKind::Missing));
  std::wstring to = L"untouched";
  EXPECT_NE(this->Files().KeepAside(cache, L".damaged", &to), kOk);
  EXPECT_EQ(to, L"untouched");
}

TEST(FilesTable, ANewFileIsPrivateOnlyWhenAskedAndAReplacedOneKeepsItsPermissions) {
  if (platform::PathSeparator() != L'/') GTEST_SKIP() << "permission bits are a posix matter";
  testsupport::TempDir dir;
  const std::wstring shared = platform::JoinPath(dir.wpath(), L"shared");
  const std::wstring secret = platform::JoinPath(dir.wpath(), L"secret");
  platform::WriteOptions ownerOnly;
  ownerOnly.ownerOnly = true;
  ASSERT_EQ(platform::PlatformFiles().WriteAtomically(secret, "s", ownerOnly), kOk);
  ASSERT_EQ(platform::PlatformFiles().WriteAtomically(shared, "s", {}), kOk);
  auto perms = [](const std::wstring& p) { return fs::status(platform::NativePath(p)).permissions(); };
  EXPECT_EQ(perms(secret), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(perms(shared) & fs::perms::owner_read, fs::perms::none);
  fs::permissions(platform::NativePath(shared), fs::perms::owner_all | fs::perms::group_read);
  ASSERT_EQ(platform::PlatformFiles().WriteAtomically(shared, "t", ownerOnly), kOk);
  EXPECT_EQ(perms(shared), fs::perms::owner_all | fs::perms::group_read);
}

// The profile-file contract, run against the system's service: Windows' own
// functions under Wine, the posix stand-in (built on the portable document
// rules) on Linux, so that both platforms are held to one behaviour.
class ProfileFileContract : public ::testing::Test {
 protected:
  std::wstring File(const char* name) const { return (mDir.path() / name).wstring(); }

  // The section's lines through a generous buffer.
  static Lines Read(const std::wstring& path, const std::wstring& section) {
    std::vector<wchar_t> buffer(4096, L'#');
    DWORD n = ProfileReadSection(path, section, buffer.data(), static_cast<DWORD>(buffer.size()));
    EXPECT_LT(n, buffer.size() - 2);
    EXPECT_EQ(buffer[n], L'\0') << "the list ends with a NUL";
    Lines lines;
    for (const wchar_t* p = buffer.data(); *p != L'\0'; p += wcslen(p) + 1) lines.emplace_back(p);
    return lines;
  }

  testsupport::TempDir mDir;
};

// Lines come trimmed, quotes and further "=" kept, blank lines left out; a
// UTF-16 file with its mark reads as text; a missing section or file reads
// empty; a small buffer is filled and reported as its size less two.
TEST_F(ProfileFileContract, ReadsTheLinesOfOneSectionWritesKeysAndSectionsAndNeedsTheFolder) {
  const std::tuple<std::string, const wchar_t*, Lines> cases[] = {
      {"[Other]\r\nk=v\r\n", L"S", {}},
      {"  [ S ]  \r\n  name  =  'va=lue'  \r\n\r\nplain\r\n", L"S", {L"name='va=lue'", L"plain"}},
      {"\xFF\xFE" + ToUtf16Le(L"[S]\r\nk=\x3042\x3044\r\n"), L"s", {L"k=\x3042\x3044"}},
  };
  for (const auto& [bytes, section, lines] : cases) {
    SCOPED_TRACE(bytes);
    WriteBytes(File("r.ini"), bytes);
    EXPECT_EQ(Read(File("r.ini"), section), lines);
  }
  wchar_t buffer[10] = {L'#', L'#'};
  EXPECT_EQ(ProfileReadSection(File("none.ini"), L"S", buffer, 10), 0u);
  EXPECT_EQ(buffer[0], L'\0');
  WriteBytes(File("big.ini"), "[S]\r\nabcdef=123456\r\nsecond=2\r\n");
  std::fill(std::begin(buffer), std::end(buffer), L'#');
  EXPECT_EQ(ProfileReadSection(File("big.ini"), L"S", buffer, 10), 8u);
  EXPECT_EQ(std::wstring(buffer, 10), std::wstring(L"abcdef=1\0\0", 10));

  // A key is added, or updated in place whatever its case, in a file and
  // section made when missing; a whole section is replaced, the other
  // sections' lines kept as they were, or appended when missing; a file stays
  // in its encoding.
  const std::wstring path = File("new.ini");
  const std::wstring name = L"\x65E5\x672C\x8A9E\x00DC\x0416";  // outside any ANSI page
  ASSERT_TRUE(ProfileWriteString(path, L"Sec", L"alpha", L"1"));
  ASSERT_TRUE(ProfileWriteString(path, L"Sec", L"beta", L"two words"));
  ASSERT_TRUE(ProfileWriteString(path, L"SEC", L"ALPHA", L"3"));
  ASSERT_TRUE(ProfileWriteString(path, L"Sec", L"K\x00E9y", name));
  EXPECT_EQ(Read(path, L"sec"), (Lines{L"alpha=3", L"beta=two words", L"K\x00E9y=" + name}));

  const std::wstring body = L"[First]\r\nkeep=1\r\n[Target]\r\nold=x\r\ngone=y\r\n[Last]\r\nz=9\r\n";
  for (const std::string& bytes : {ToUtf8(body), "\xFF\xFE" + ToUtf16Le(body)}) {
    const std::wstring s = File("s.ini");
    WriteBytes(s, bytes);
    ASSERT_TRUE(ProfileWriteSection(s, L"target", std::wstring(L"a=\"1\"\0b=2\0", 11)));
    ASSERT_TRUE(ProfileWriteSection(s, L"New", std::wstring(L"y=2\0", 4)));
    EXPECT_EQ((std::vector<Lines>{Read(s, L"Target"), Read(s, L"First"), Read(s, L"Last"), Read(s, L"New")}),
              (std::vector<Lines>{{L"a=\"1\"", L"b=2"}, {L"keep=1"}, {L"z=9"}, {L"y=2"}}));
    EXPECT_EQ(ReadBytes(s).substr(0, 2), bytes.substr(0, 2)) << "the encoding is kept";
    EXPECT_EQ(ReadBytes(s).find("\r\r"), std::string::npos) << "the kept lines are stored as they were";
  }
  ASSERT_TRUE(ProfileWriteSection(File("fresh.ini"), L"One", std::wstring(L"x=\x65E5\0", 4)));
  EXPECT_EQ(Read(File("fresh.ini"), L"One"), (Lines{L"x=\x65E5"}));

  const std::wstring missing = File("no/such/folder.ini");
  EXPECT_FALSE(ProfileWriteSection(missing, L"S", std::wstring(L"a=1\0", 4)));
  EXPECT_FALSE(ProfileWriteString(missing, L"S", L"a", L"1"));
  EXPECT_FALSE(PathExists(missing));

  const fs::path before = fs::current_path();
  fs::current_path(mDir.path());
  bool wrote = ProfileWriteString(L"relative.ini", L"S", L"k", L"v");
  wchar_t line[16] = {};
  DWORD n = ProfileReadSection(L"relative.ini", L"S", line, 16);
  fs::current_path(before);
  // Each line counts with its NUL.
  EXPECT_EQ(std::tuple(wrote, n, std::wstring(line), fs::exists(mDir.path() / "relative.ini")),
            std::tuple(true, 4u, L"k=v", true));
}

// The posix stand-in reports a write the disk refuses and keeps the file;
// it reads UTF-8 and refuses to rewrite bytes it cannot keep; it refuses a
// FIFO without waiting and keeps it. (Windows reads files without a mark in
// its ANSI page, and its own functions write past the file table.)
TEST_F(ProfileFileContract, StandInReadsUtf8AndRefusesToRewriteBytesItCannotKeep) {
  if (PathSeparator() != L'/') GTEST_SKIP() << "the stand-in is the posix one";
  const std::wstring path = File("u8.ini");
  const std::string before = "[S]\r\nk=old\r\n";
  WriteBytes(path, before);
  {
    testsupport::FaultyFiles faulty(testsupport::FaultyFiles::kWrite, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(ProfileWriteString(path, L"S", L"k", L"new"));
    EXPECT_GT(faulty.Failures(), 0);
  }
  EXPECT_EQ(std::tuple(GetLastErrorCode(), ReadBytes(path), std::distance(fs::directory_iterator(mDir.path()), {})),
            std::tuple(static_cast<DWORD>(ERROR_ACCESS_DENIED), before, 1));

  WriteBytes(path, "[S]\nk=\xE6\x97\xA5\n");
  EXPECT_EQ(Read(path, L"S"), (Lines{L"k=\x65E5"}));
  const std::string latin1 = "[S]\nk=caf\xE9\n";
  WriteBytes(path, latin1);
  EXPECT_FALSE(ProfileWriteString(path, L"S", L"x", L"1"));
  EXPECT_EQ(GetLastErrorCode(), static_cast<DWORD>(ERROR_INVALID_DATA));
  EXPECT_FALSE(ProfileWriteSection(path, L"T", std::wstring(L"x=1\0", 4)));
  EXPECT_EQ(ReadBytes(path), latin1);

  // A new file is UTF-8 without a mark, with CR LF line ends.
  ASSERT_TRUE(ProfileWriteString(File("fresh.ini"), L"S", L"k", L"\x65E5"));
  EXPECT_EQ(ReadBytes(File("fresh.ini")), "[S]\r\nk=\xE6\x97\xA5\r\n");

  const fs::path fifo = mDir.path() / "pipe.ini";
  if (std::system(("mkfifo '" + fifo.string() + "'").c_str()) != 0) GTEST_SKIP() << "no FIFOs here";
  EXPECT_TRUE(platformtest::ReturnsWithin(std::chrono::seconds(60), "reading a FIFO", [&] {
    wchar_t buffer[32];
    return ProfileReadSection(fifo.wstring(), L"S", buffer, 32) == 0 &&
           !ProfileWriteString(fifo.wstring(), L"S", L"k", L"v");
  }));
  EXPECT_TRUE(fs::is_fifo(fifo));
}

// Found by fuzzing the document rules the stand-in is built on: a NUL inside
// a line reads as two entries (entries travel NUL-terminated); rewriting
// would store them as two lines, so the file counts as one that cannot be
// rewritten without change. Both encodings.
TEST(ProfileDocument, ANulInsideALineMakesTheFileUnwritable) {
  const std::string inputs[] = {
      "\xFF\xFE" + ToUtf16Le(std::wstring(L"[S]\r\na\v\0b=1", 11)),
      std::string("[S]\r\na\v\0b=1\r\n", 13),
  };
  for (const std::string& bytes : inputs) {
    bool lossless = true;
    ProfileDocument doc = ProfileDocument::Parse(bytes, &lossless);
    EXPECT_FALSE(lossless);
    EXPECT_EQ(doc.SectionEntries(L"S").size(), 1u) << "the line stays one line when read";
  }
  bool lossless = false;
  ProfileDocument::Parse("[S]\r\na=1\r\n", &lossless);
  EXPECT_TRUE(lossless);
}

// The system services on both platforms: the same expectations hold for the
// Win32 implementation (under Wine) and the posix stand-ins.
// True where the platform layer stands in for Windows (posix); the few
// expectations that only make sense there are guarded by it.
bool StandsIn() { return !platform::RegistryHiveFile(platform::Hive::CurrentUser).empty(); }

bool EndsWithSeparator(const std::wstring& s) { return !s.empty() && (s.back() == L'\\' || s.back() == L'/'); }

// The code belongs to the calling thread, and looking a text up does not
// change the code being reported.
TEST(LastErrorContract, CodeBelongsToTheCallingThreadAndHasASystemText) {
  platform::SetLastErrorCode(1223);
  DWORD initial = 99;
  std::thread([&] {
    initial = platform::GetLastErrorCode();
    platform::SetLastErrorCode(5);
  }).join();
  EXPECT_EQ(initial, 0u);
  EXPECT_NE(platform::GetLastErrorCode(), 5u);
  platform::SetLastErrorCode(5);
  EXPECT_FALSE(SystemErrorText(ERROR_FILE_NOT_FOUND).empty() || SystemErrorText(ERROR_ACCESS_DENIED).empty());
  EXPECT_NE(platform::SystemErrorText(ERROR_FILE_NOT_FOUND), platform::SystemErrorText(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(platform::SystemErrorText(0x1FFFFFFFu).empty());
  EXPECT_EQ(platform::GetLastErrorCode(), 5u);
  platform::SetLastErrorCode(0);
  EXPECT_EQ(platform::GetLastErrorCode(), 0u);
}

// The well-known folders, and paths joined with one separator.
TEST(FoldersContract, WellKnownFoldersJoinedPathsAndFolderTrees) {
  std::wstring temp = platform::TempFolder();
  EXPECT_TRUE(EndsWithSeparator(temp) && PathExists(temp)) << platform::ToUtf8(temp);
  EXPECT_FALSE(RoamingAppDataFolder().empty() || EndsWithSeparator(RoamingAppDataFolder()));

  std::wstring folder = platform::ModuleFolder();
  std::wstring file = platform::ModuleFilePath();
  // The program's own file, in its folder.
  EXPECT_TRUE(EndsWithSeparator(folder) && file.size() > folder.size() && file.starts_with(folder) &&
              platform::AsciiLower(file).find(L"test_platform") != std::wstring::npos && platform::PathExists(file))
      << platform::ToUtf8(file) << " in " << platform::ToUtf8(folder);

  const std::wstring sep(1, platform::PathSeparator());
  EXPECT_EQ(JoinPath(L"dir", L"Log0.txt") + L"|" + JoinPath(L"dir" + sep, L"x") + L"|" + JoinPath(L"", L"x") + L"|" +
                JoinPath(L"dir", L""),
            L"dir" + sep + L"Log0.txt|dir" + sep + L"x|x|dir");

  TempDir dir;
  std::wstring deep = dir.wpath() + sep + L"Talvoren" + sep + L"AddinLog" + sep + L"deeper";
  EXPECT_EQ(platform::CreateFolderTree(deep), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(deep)));
  EXPECT_EQ(platform::CreateFolderTree(deep), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(platform::GetLastErrorCode(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  std::wstring plain = dir.wpath() + sep + L"plain.txt";
  std::ofstream(std::filesystem::path(plain)) << "x";
  EXPECT_EQ(platform::CreateFolderTree(plain), static_cast<DWORD>(ERROR_FILE_EXISTS));
  // Below a file, and on a drive that does not exist (a log folder copied
  // from another machine): an error, never a folder made somewhere else.
  for (const std::wstring& bad : {plain + sep + L"sub", std::wstring(L"Q:\\Talvoren\\AddinLog")}) {
    const DWORD rc = platform::CreateFolderTree(bad);
    EXPECT_TRUE(rc != ERROR_SUCCESS && rc != ERROR_ALREADY_EXISTS) << rc << " " << platform::ToUtf8(bad);
    EXPECT_FALSE(platform::PathExists(bad));
  }
}

// References expand like Windows'; a variable removed expands no more.
TEST(EnvironmentContract, SetExpandAndRemoveVariables) {
  {
    ScopedEnv var(L"PELORANT_TEST_DIR", L"/d\x65E5");
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"%PELORANT_TEST_DIR%\\Talvoren", L"/d\x65E5\\Talvoren"}, {L"%pelorant_test_dir%", L"/d\x65E5"},
        {L"%PELORANT_NO_SUCH_VAR%\\x", L"%PELORANT_NO_SUCH_VAR%\\x"}, {L"100% sure", L"100% sure"}, {L"a%%b", L"a%%b"},
        {L"%PELORANT_NO_SUCH_VAR%PELORANT_TEST_DIR%", L"%PELORANT_NO_SUCH_VAR%PELORANT_TEST_DIR%"},
        {L"%PELORANT_NO_SUCH_VAR%%PELORANT_TEST_DIR%", L"%PELORANT_NO_SUCH_VAR%/d\x65E5"}};
    for (auto [in, out] : cases) EXPECT_EQ(platform::ExpandEnvironment(in), out) << platform::ToUtf8(in);
    EXPECT_EQ(platform::GetEnvironmentValue(L"PELORANT_TEST_DIR"), L"/d\x65E5");
  }
  EXPECT_EQ(platform::GetEnvironmentValue(L"PELORANT_TEST_DIR"), L"");
  EXPECT_EQ(platform::ExpandEnvironment(L"%PELORANT_TEST_DIR%"), L"%PELORANT_TEST_DIR%");

  std::wstring folder = platform::TempFolder();
  folder.pop_back();
  EXPECT_EQ(platform::NormalizePath(platform::ExpandEnvironment(L"%temp%")), platform::NormalizePath(folder));
}

TEST(CodePageContract, ConvertsBothWaysAndRefusesUnknownPages) {
  const std::tuple<unsigned, std::wstring, std::string> samples[] = {
      {932, L"\x65E5\x672C\x8A9E ABC \xFF71", "\x93\xFA\x96\x7B\x8C\xEA ABC \xB1"},
      {874, L"\x0E01\x0E02", "\xA1\xA2"}, {936, L"\x4E2D\x6587", "\xD6\xD0\xCE\xC4"},
      {949, L"\xD55C\xAE00", "\xC7\xD1\xB1\xDB"}, {950, L"\x4E2D\x6587", "\xA4\xA4\xA4\xE5"},
      {1250, L"\x0159\x0161", "\xF8\x9A"}, {1251, L"\x041F\x0440\x0438", "\xCF\xF0\xE8"},
      {1252, L"\x00E9\x20AC", "\xE9\x80"}, {1253, L"\x03B1\x03B2", "\xE1\xE2"}, {1254, L"\x011F\x015F", "\xF0\xFE"},
      {1255, L"\x05D0\x05D1", "\xE0\xE1"}, {1256, L"\x0639", "\xDA"}, {1257, L"\x0101\x0113", "\xE2\xE7"},
      {1258, L"\x0111\x01B0", "\xF0\xFD"}, {65001, L"\x65E5", "\xE6\x97\xA5"}};
  for (const auto& [page, text, bytes] : samples) {
    SCOPED_TRACE(page);
    ASSERT_TRUE(platform::IsCodePageSupported(page));
    std::string encoded;
    ASSERT_TRUE(platform::WideToMultiByte(page, text, &encoded));
    EXPECT_EQ(encoded, bytes);
    std::wstring decoded;
    ASSERT_TRUE(platform::MultiByteToWide(page, bytes, &decoded));
    EXPECT_EQ(decoded, text);
  }
  // A character the page lacks becomes "?"; an unknown page converts nothing.
  std::string bytes, empty = "stale";
  ASSERT_TRUE(platform::WideToMultiByte(932, std::wstring(L"a\x0E01") + L"b", &bytes) &&
              platform::WideToMultiByte(932, L"", &empty));
  EXPECT_EQ(std::pair(bytes, empty), std::pair(std::string("a?b"), std::string()));
  std::wstring text;
  EXPECT_FALSE(MultiByteToWide(12345, "abc", &text) || WideToMultiByte(12345, L"abc", &bytes) ||
               IsCodePageSupported(12345));
  // A lead byte at the end of the input is not silently dropped with the
  // rest of the text.
  ASSERT_TRUE(platform::MultiByteToWide(932, "ab\x93", &text));
  ASSERT_GE(text.size(), 3u);
  EXPECT_EQ(text.substr(0, 2), L"ab");
}

// Each language's ANSI code page, and locale names to language ids.
TEST(LanguageContract, DefaultAnsiCodePagesAndLocaleNames) {
  const std::pair<LANGID, unsigned> cases[] = {{1041, 932},  {1033, 1252}, {2057, 1252}, {2052, 936},  {4100, 936},
                                               {1028, 950},  {1042, 949},  {1054, 874},  {1029, 1250}, {1049, 1251},
                                               {1032, 1253}, {1055, 1254}, {1037, 1255}, {1025, 1256}, {1063, 1257},
                                               {1066, 1258}, {3082, 1252}};
  for (auto [lang, page] : cases) EXPECT_EQ(platform::DefaultAnsiCodePage(lang), page) << lang;
  // "de-LI": an unlisted country gives the language's default.
  const std::pair<const char*, int> names[] = {{"ja_JP.UTF-8", 1041}, {"en_US", 1033},      {"en_GB.utf8", 2057},
                                               {"C", 1033},           {"POSIX", 1033},      {"zh_TW.Big5", 1028},
                                               {"zh_SG", 4100},       {"es_ES@euro", 3082}, {"de", 1031},
                                               {"de-LI", 1031},       {"xx_YY", 0},         {"", 0}};
  for (auto [name, id] : names) EXPECT_EQ(platform::LangIdFromLocaleName(name), id) << '"' << name << '"';

  EXPECT_NE(platform::SystemDefaultLangId(), 0);
  if (!StandsIn()) return;  // Windows takes it from the system, not the environment
  // LC_ALL first, then LC_MESSAGES, then LANG; "C" and unknown names are English.
  const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*, LANGID> environments[] = {
      {L"ja_JP.UTF-8", L"", L"en_US.UTF-8", 1041}, {L"", L"", L"ja_JP.UTF-8", 1041},
      {L"", L"ko_KR.UTF-8", L"en_US.UTF-8", 1042}, {L"", L"C", L"en_US.UTF-8", 1033},
      {L"", L"xx_YY", L"en_US.UTF-8", 1033}};
  for (auto [all, messages, lang, id] : environments) {
    ScopedEnv a(L"LC_ALL", all), m(L"LC_MESSAGES", messages), l(L"LANG", lang);
    EXPECT_EQ(platform::SystemDefaultLangId(), id) << platform::ToUtf8(all) << platform::ToUtf8(messages);
  }
}

TEST(MessageBoxContract, DefaultButtonOfEachButtonSet) {
  const std::pair<unsigned, int> cases[] = {{MB_OK | MB_ICONERROR, IDOK}, {MB_OKCANCEL, IDOK},
                                            {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL}, {MB_YESNO, IDYES},
                                            {MB_YESNO | MB_DEFBUTTON2, IDNO}, {MB_YESNOCANCEL | 0x200, IDCANCEL}};
  for (auto [style, button] : cases) EXPECT_EQ(platform::DefaultButton(style), button) << std::hex << style;
}

TEST(FilesContract, DeleteFileAtRemovesAFileAndKeepsTheErrorCode) {
  TempDir dir;
  std::wstring file = platform::JoinPath(dir.wpath(), L"copy.pptm");
  std::ofstream(std::filesystem::path(dir.path()) / "copy.pptm") << "x";
  ASSERT_TRUE(platform::PathExists(file));
  platform::SetLastErrorCode(1223);
  // Deleted, gone, and deleted again: a file already gone is what the caller wanted.
  EXPECT_EQ((std::vector<bool>{DeleteFileAt(file), PathExists(file), DeleteFileAt(file)}),
            (std::vector<bool>{true, false, true}));
  EXPECT_EQ(platform::GetLastErrorCode(), 1223u);
  // A folder is no file.
  EXPECT_FALSE(platform::DeleteFileAt(dir.wpath()));
}

// A work area and pixels per inch the window arrangement can convert to
// points, on the real screen and the virtual one.
TEST(DisplayContract, TheScreenHasAnAreaAndADensity) {
  platform::ScreenInfo info;
  ASSERT_TRUE(platform::GetScreenInfo(&info));
  EXPECT_TRUE(info.dpiX > 0 && info.dpiY > 0 && info.workArea.width > 0 && info.workArea.height > 0)
      << info.dpiX << " " << info.dpiY << " " << info.workArea.width << "x" << info.workArea.height;
  platform::ScreenRect frame;
  // The stand-in answers for any frame.
  EXPECT_TRUE(StandsIn() || !platform::GetFrameClientArea(L"PelorantNoSuchFrameClass", &frame));
}

TEST(Strings, Utf8Utf16AndExceptionTextsKeepEveryPlaneAndReplaceWhatIsBroken) {
  std::wstring text = L"A\u00e9\u65e5\u672c";
  text += FromUtf8("\xF0\x9F\x98\x80");  // outside the basic plane
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(text), "A\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80");
  // Broken UTF-8 becomes replacement characters, not loss (the last is an
  // overlong slash).
  EXPECT_EQ(FromUtf8("a\xC3") + L"|" + FromUtf8("\xE6\x97z") + L"|" + FromUtf8("\xC0\xAF"),
            L"a\uFFFD|\uFFFD\uFFFDz|\uFFFD");

  // Library and system errors carry UTF-8 in what(); a host error says its
  // own description, and its code when it has none.
  EXPECT_EQ(ExceptionText(std::runtime_error("caf\xC3\xA9 \xE6\x97\xA5")), L"caf\u00e9 \u65e5");
  EXPECT_EQ(ExceptionText(ComError(E_FAIL, L"na\u00efve")), L"na\u00efve");
  EXPECT_EQ(ExceptionText(ComError(E_FAIL)), L"HRESULT 0x80004005");

  const std::string bytes("\x3D\xD8\x00\xDE\x41\x00", 6);  // U+1F600, 'A'
  std::wstring w = FromUtf16Le(bytes);
  EXPECT_EQ(ToUtf8(w), "\xF0\x9F\x98\x80\x41");
  EXPECT_EQ(ToUtf16Le(w), bytes);
  EXPECT_EQ(FromUtf16Le(std::string("A\x00\x41", 3)), std::wstring(L"A\uFFFD"));
}

TEST(Strings, CaseAndCharacterClassesIgnoreTheProcessLocale) {
  EXPECT_TRUE(EqualsNoCase(L"Software\\Talvoren", L"SOFTWARE\\talvoren"));
  EXPECT_FALSE(EqualsNoCase(L"\u00c9", L"\u00e9"));
  EXPECT_EQ(AsciiLower(L"RegV1\\PowerPoint"), L"regv1\\powerpoint");

  // The program often runs under the "C" locale; letters outside ASCII must
  // still be letters there.
  const char* old = setlocale(LC_ALL, nullptr);
  std::string saved = old ? old : "C";
  setlocale(LC_ALL, "C");
  // Letter or digit, white space, punctuation.
  const std::tuple<wchar_t, bool, bool, bool> cases[] = {
      {L'\u00f1', true, false, false}, {L'\u65e5', true, false, false}, {L'7', true, false, false},
      {L'.', false, false, true},      {L' ', false, true, false},      {L'\u3000', false, true, false},
      {L'\t', false, true, false},     {L'\u00bf', false, false, true}, {L'\u3002', false, false, true},
      {L'\u00e9', true, false, false}};
  for (auto [c, alnum, space, punct] : cases) {
    EXPECT_EQ(IsAlphaNumeric(c), alnum) << static_cast<int>(c);
    EXPECT_EQ(IsWhiteSpace(c), space) << static_cast<int>(c);
    EXPECT_EQ(IsPunctuation(c), punct) << static_cast<int>(c);
  }
  setlocale(LC_ALL, saved.c_str());
}

// Each list is sorted, unique, and every font in it counts as installed for
// its character set only; unknown names never do; names compare without case.
TEST(FontsContract, ListsAreSortedUniqueAndHoldOnlyInstalledFontsAndTheirAliases) {
  FontCatalog& fonts = SystemFontCatalog();
  for (int charset : {0, 128, 129, 134, 136, 204, 238}) {
    SCOPED_TRACE(charset);
    std::vector<std::wstring> list = fonts.InstalledFonts(charset);
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    EXPECT_EQ(std::adjacent_find(list.begin(), list.end()), list.end());
    for (const auto& name : list) EXPECT_TRUE(fonts.IsInstalled(name, charset)) << ToUtf8(name);
    EXPECT_FALSE(fonts.IsInstalled(L"Pelorant Missing Face 42", charset));
    EXPECT_FALSE(fonts.IsInstalled(L"", charset));
  }
  std::vector<std::wstring> western = fonts.InstalledFonts(0);
  ASSERT_FALSE(western.empty()) << "every system has a TrueType font for Western text";
  EXPECT_TRUE(fonts.IsInstalled(platform::AsciiLower(western.front()), 0)) << ToUtf8(western.front());
  // A Western-only font does not count for Japanese.
  std::vector<std::wstring> japanese = fonts.InstalledFonts(128);
  auto outside = std::find_if(western.begin(), western.end(), [&](const std::wstring& name) {
    return std::find(japanese.begin(), japanese.end(), name) == japanese.end();
  });
  if (outside != western.end()) {
    EXPECT_FALSE(fonts.IsInstalled(*outside, 128)) << ToUtf8(*outside);
  }
  // On Linux the fontconfig aliases make metric-compatible families count
  // as installed.
  if (PathSeparator() == L'/' && std::find(western.begin(), western.end(), L"Liberation Sans") != western.end()) {
    EXPECT_TRUE(fonts.IsInstalled(L"Arial", 0));
    EXPECT_FALSE(fonts.IsInstalled(L"Arial", 128)) << "Liberation Sans has no Japanese";
  }
}

// Runs on a thread of its own so that no test sees another's leftovers,
// within a time limit (a wait that never wakes ends the run).
template <typename F>
void OnFreshThread(F body) {
  platformtest::ReturnsWithin(std::chrono::seconds(60), "the message-queue test", body);
}

// Tasks posted from another thread wait for the owner and run there in
// order; one dispatch runs one task, a drain also runs what tasks queue
// while it drains, and a task that throws stops neither; a wait without
// limit wakes for a task posted later.
TEST(MessagePumpContract, TasksRunInOrderOnTheOwnerAndPostingToNoThreadOrAnEndedOneFails) {
  OnFreshThread([] {
    MessageThreadId self = CurrentMessageThread();
    ASSERT_NE(self, 0u);
    EXPECT_FALSE(WaitAndDispatchMessage(0) || WaitAndDispatchMessage(5)) << "nothing to wait for";
    std::vector<int> order;
    std::thread::id ranOn;
    std::thread poster([&] {
      for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(PostThreadTask(self, [&order, &ranOn, i] {
          order.push_back(i);
          ranOn = std::this_thread::get_id();
        }));
      ASSERT_TRUE(PostThreadTask(self, [&] {
        order.push_back(3);
        PostThreadTask(self, [&] { order.push_back(5); });
        throw std::runtime_error("boom");
      }));
      ASSERT_TRUE(PostThreadTask(self, [&] { order.push_back(4); }));
    });
    poster.join();
    EXPECT_TRUE(order.empty()) << "tasks must wait until the owner drains";
    EXPECT_TRUE(DispatchOneMessage());
    EXPECT_EQ(order, std::vector<int>{0});
    EXPECT_EQ(DrainMessageQueue(), 5);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(DrainMessageQueue() != 0 || DispatchOneMessage()) << "nothing is left";

    std::thread later([&] {
      SleepMilliseconds(20);
      PostThreadTask(self, [&] { order.push_back(6); });
    });
    EXPECT_TRUE(WaitAndDispatchMessage(-1));
    EXPECT_EQ(order.back(), 6);
    later.join();
  });

  EXPECT_FALSE(PostThreadTask(0, [] {}));
  MessageThreadId ended = 0;
  OnFreshThread([&] { ended = CurrentMessageThread(); });
  ASSERT_NE(ended, 0u);
  bool ran = false;
  EXPECT_FALSE(PostThreadTask(ended, [&] { ran = true; }));
  EXPECT_FALSE(ran);
  // Each thread has its own queue.
  OnFreshThread([] {
    MessageThreadId mine = CurrentMessageThread();
    MessageThreadId other = 0;
    OnFreshThread([&] { other = CurrentMessageThread(); });
    EXPECT_NE(mine, other);
    EXPECT_EQ(mine, CurrentMessageThread());
  });
}

struct FakeConsole {
  std::string written;
  std::deque<std::string> answers;
  int reads = 0;
  platform::ConsoleIo io;

  explicit FakeConsole(bool interactive, std::string preset = {}) {
    io.write = [this](const std::string& s) { written += s; };
    io.readLine = [this](std::string* line) {
      ++reads;
      if (answers.empty()) return false;
      *line = answers.front();
      answers.pop_front();
      return true;
    };
    io.interactive = interactive;
    io.presetAnswer = std::move(preset);
  }
};

// A box with one button shows its icon kind, caption and text, one line
// each, and asks nothing even at a terminal.
TEST(ConsoleMessageBox, PlainBoxesAskNothingAndQuestionsTakeThePresetTheTerminalOrTheDefault) {
  const std::tuple<unsigned, const wchar_t*, const char*> cases[] = {
      {MB_OK | MB_ICONERROR, L"Caption", "[error] Caption\nFirst line\nSecond line\n"},
      {MB_ICONEXCLAMATION, L"C", "[warning] C\nFirst line\nSecond line\n"},
      {MB_OK | MB_ICONINFORMATION, L"C", "[information] C\nFirst line\nSecond line\n"},
      {MB_OK, L"", "[message]\nFirst line\nSecond line\n"}};
  for (auto [style, caption, written] : cases) {
    FakeConsole c(true);
    c.answers = {"no"};
    const int answer = platform::ConsoleMessageBox({L"First line\r\nSecond line", caption, style, 1041}, c.io);
    EXPECT_EQ(std::tuple(answer, c.reads, c.written), std::tuple(IDOK, 0, written));
  }

  // The preset answer wins over the terminal, and one preset serves every
  // button set; an answer typed at the terminal is asked for again until it
  // fits; an unusable preset, the end of input or no terminal take the default.
  // At a terminal or not, the preset answer, what is typed, the box's style,
  // the answer, the lines read, and a piece of what is said.
  const unsigned question = MB_YESNO | MB_ICONQUESTION;
  const std::tuple<bool, const char*, std::deque<std::string>, unsigned, int, int, const char*> questions[] = {
      {true, "no", {"yes"}, question, IDNO, 0, "[question] Pelorant"},
      {false, " YES ", {}, question, IDYES, 0, ""},
      {false, "no", {}, MB_OKCANCEL, IDCANCEL, 0, ""},
      {false, "cancel", {}, MB_YESNOCANCEL, IDCANCEL, 0, ""},
      {false, "maybe", {}, question | MB_DEFBUTTON2, IDNO, 0, "PELORANT_ANSWER=\"maybe\" does not answer"},
      {false, "maybe", {}, question | MB_DEFBUTTON2, IDNO, 0, "default button, No"},
      {true, "", {"perhaps", "n"}, question, IDNO, 2, "[Y/n]"},
      {true, "", {""}, question | MB_DEFBUTTON2, IDNO, 1, "[y/N]"},
      {true, "", {}, question, IDYES, 1, "default button, Yes"},
      {false, "", {"no"}, question | MB_DEFBUTTON2, IDNO, 0, "PELORANT_ANSWER not set"},
  };
  for (const auto& [interactive, preset, typed, style, answer, reads, said] : questions) {
    FakeConsole console(interactive, preset);
    console.answers = typed;
    EXPECT_EQ(platform::ConsoleMessageBox({L"Delete the key?", L"Pelorant", style, 1033}, console.io), answer)
        << preset << " " << reads;
    EXPECT_EQ(console.reads, reads) << preset;
    EXPECT_NE(console.written.find(said), std::string::npos) << console.written;
  }
}

// The clipboard service on both platforms: on Linux against the per-user file
// stand-in, under Wine against the Windows clipboard.
class ClipboardContract : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<ClipboardEntry> probe;
    if (!platform::ReadClipboard(&probe)) GTEST_SKIP() << "no clipboard in this session";
  }
  testsupport::TempDir dir;
  platformtest::ScopedEnv file{L"PELORANT_CLIPBOARD_FILE", (dir.path() / "clipboard").wstring()};
};

TEST_F(ClipboardContract, WhatIsWrittenIsReadBackAndDamagedDibsAndStandInsAreRefused) {
  const unsigned html = platform::RegisterClipboardFormatName(L"HTML Format");
  EXPECT_NE(html, 0u);
  EXPECT_EQ(platform::RegisterClipboardFormatName(L"HTML Format"), html);
  EXPECT_NE(platform::RegisterClipboardFormatName(L"Rich Text Format"), html);

  std::string text = platform::ToUtf16Le(L"Grüße\r\n日本") + std::string(2, '\0');
  // Binary data with newlines and NULs must come back byte for byte.
  const std::vector<ClipboardEntry> entries{{platform::kCfUnicodeText, text},
                                            {html, std::string("<b>x</b>\n\0tail\n", 15)}};
  ASSERT_TRUE(platform::WriteClipboard(entries));
  std::vector<ClipboardEntry> read;
  ASSERT_TRUE(platform::ReadClipboard(&read));
  // Each format once; the system may round blocks up (what was written
  // leads) and add formats of its own.
  std::map<unsigned, std::string> got;
  for (const ClipboardEntry& e : read) {
    if (e.format == platform::kCfUnicodeText || e.format == html)
      got[e.format] += e.data.substr(0, e.format == html ? 15 : text.size());
  }
  EXPECT_EQ(got, (std::map<unsigned, std::string>{{platform::kCfUnicodeText, text}, {html, entries[1].data}}));

  ASSERT_TRUE(platform::WriteClipboard({}));
  ASSERT_TRUE(platform::ReadClipboard(&read));
  EXPECT_TRUE(read.empty());

  platform::Picture picture{3, 2, {0xFF102030u, 0xFF405060u, 0xFF708090u, 0xFFA0B0C0u, 0xFFD0E0F0u, 0xFF000000u}};
  ASSERT_TRUE(platform::WriteClipboard({{platform::kCfDib, platform::DibFromPicture(picture)}}));
  ASSERT_TRUE(platform::ReadClipboard(&read));
  auto dib = std::find_if(read.begin(), read.end(), [](const auto& e) { return e.format == platform::kCfDib; });
  ASSERT_NE(dib, read.end());
  platform::Picture back;
  ASSERT_TRUE(platform::PictureFromDib(dib->data, &back));
  EXPECT_EQ(std::tuple(back.width, back.height, back.pixels), std::tuple(3, 2, picture.pixels));

  const std::string good = platform::DibFromPicture(picture);
  auto with = [&](size_t at, char value) {
    std::string d = good;
    d[at] = value;
    return d;
  };
  const std::pair<const char*, std::string> bad[] = {
      {"shorter than its header", good.substr(0, 39)},
      {"rows missing", good.substr(0, good.size() - 1)},
      {"8 bits a pixel", with(14, 8)},
      {"compressed", with(16, 1)},
      {"no width", with(4, 0)},
  };
  for (const auto& [what, dib] : bad) {
    SCOPED_TRACE(what);
    platform::Picture untouched = picture;
    EXPECT_FALSE(platform::PictureFromDib(dib, &untouched));
    EXPECT_EQ(untouched.pixels, picture.pixels);
  }

  if (platform::ClipboardKind() != L"file") return;  // only the file stand-in has a file
  for (const std::string& damaged :
       {std::string("something else\n"), std::string("PELORANT-CLIPBOARD 1\n13 - 999\nshort\n"),
        std::string("PELORANT-CLIPBOARD 1\n13 - 2\nabc")}) {
    std::ofstream(dir.path() / "clipboard", std::ios::binary) << damaged;
    std::vector<ClipboardEntry> read{{1, "before"}};
    EXPECT_FALSE(platform::ReadClipboard(&read));
    EXPECT_EQ(read.size(), 1u);
    std::ifstream in(dir.path() / "clipboard", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged);
  }
}

TEST(ResourceModuleFiles, MissingFileOrOneThatIsNoModuleIsRefusedAndTheOwnBlockIsCompiledInOnLinux) {
  testsupport::TempDir dir;
  const std::wstring missing = platform::JoinPath(dir.wpath(), L"OfficeAddInRes1041" + platform::ResourceModuleExtension());
  const std::wstring junk = platform::JoinPath(dir.wpath(), L"OfficeAddInRes1033" + platform::ResourceModuleExtension());
  { std::ofstream(platform::NativePath(junk)) << "101\tnot a module\n"; }
  auto previous = platform::SetDiagnosticSink([](const std::wstring&) {});
  for (const std::wstring& path : {missing, junk}) {
    EXPECT_FALSE(ResourceModuleFile::Load(path));
    VersionBlock block;
    block.translation = L"stale";
    EXPECT_FALSE(ReadVersionBlock(path, &block));
    EXPECT_TRUE(block.empty());
  }
  platform::SetDiagnosticSink(previous);

  // Linux programs carry their resources compiled in; Windows reads the module
  // file itself, never the block compiled in.
  const std::wstring name = L"\\StringFileInfo\\040904b0\\ProductName";
  VersionBlock builtIn;
  builtIn.translation = L"040904b0";
  builtIn.values[name] = L"Built In";
  VersionBlock block;
  const bool found = platform::ReadOwnVersionBlock(builtIn, &block);
  const bool compiledIn = platform::ResourceModuleExtension() == L".res";
  EXPECT_EQ(found, compiledIn || !block.empty());
  EXPECT_EQ(block.values[name] == L"Built In", compiledIn);
}

}  // namespace
