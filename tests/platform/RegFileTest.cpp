// The ".reg" text form that the posix registry keeps its hives in.
#include <gtest/gtest.h>

#include "src/platform/RegFile.h"
#include "src/platform/Strings.h"

using platform::RegType;
using platform::RegValue;
using platform::regfile::Key;
using platform::regfile::Parse;
using platform::regfile::Serialize;

namespace {

const wchar_t kHkcu[] = L"HKEY_CURRENT_USER";

RegValue ValueAt(const Key& root, const wchar_t* path, const wchar_t* name) {
  const Key* k = root.Find(path);
  if (!k) return {};
  const platform::regfile::Value* v = k->FindValue(name);
  if (!v) return {};
  return platform::RegValueFromBytes(v->type, v->data);
}

void ExpectSameTree(const Key& a, const Key& b) {
  EXPECT_TRUE(platform::EqualsNoCase(a.name, b.name)) << platform::ToUtf8(a.name);
  ASSERT_EQ(a.values.size(), b.values.size()) << platform::ToUtf8(a.name);
  for (size_t i = 0; i < a.values.size(); ++i) {
    EXPECT_EQ(a.values[i].name, b.values[i].name);
    EXPECT_EQ(a.values[i].type, b.values[i].type);
    EXPECT_EQ(a.values[i].data, b.values[i].data) << platform::ToUtf8(a.values[i].name);
  }
  ASSERT_EQ(a.subkeys.size(), b.subkeys.size()) << platform::ToUtf8(a.name);
  for (size_t i = 0; i < a.subkeys.size(); ++i) ExpectSameTree(a.subkeys[i], b.subkeys[i]);
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
    RegValue log = ValueAt(root, key, L"officeaddinlog");
    EXPECT_EQ(log.type, RegType::Dword);
    EXPECT_EQ(log.dword, 1u);
    RegValue folder = ValueAt(root, key, L"LogFolderPath");
    EXPECT_EQ(folder.type, RegType::ExpandSz);
    EXPECT_EQ(folder.text, L"%temp%\\x");
    EXPECT_EQ(ValueAt(root, key, L"Path").text, L"C:\\Program Files\\\"A\"");
    EXPECT_EQ(ValueAt(root, key, L"List").multi, (std::vector<std::wstring>{L"a", L"bc"}));
    EXPECT_EQ(ValueAt(root, key, L"Big").qword, 0x0123456789ABCDEFull);
    EXPECT_EQ(ValueAt(root, key, L"Blob").binary, (std::vector<std::uint8_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(root.Find(key)->FindValue(L"Gone"), nullptr);
    EXPECT_EQ(root.Find(L"Software\\Old"), nullptr);
    EXPECT_EQ(ValueAt(root, L"Software\\Talvoren\\OfficeAddIn\\RegV1", L"Caf\x00E9").text, L"\x65E5\x672C");
  }
}

TEST(RegFile, EverythingSurvivesARoundTrip) {
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
  ExpectSameTree(root, back);
  EXPECT_EQ(Serialize(back, kHkcu), text);
}

// Values added to a hand-written file come out in the regedit syntax, and
// the hand-written comments stay where they were.
TEST(RegFile, WritesTheRegeditSyntaxAndKeepsHandWrittenComments) {
  const std::string text =
      "Windows Registry Editor Version 5.00\n"
      "\n; the add-in's settings\n"
      "[HKEY_CURRENT_USER\\Software\\Talvoren]\n"
      "; switched on while chasing a bug\n"
      "\"OfficeAddinLog\"=dword:00000001\n"
      "\n; the end\n";
  Key root;
  root.name = kHkcu;
  ASSERT_TRUE(Parse(text, kHkcu, &root).ok);
  Key& k = *root.Find(L"Software\\Talvoren");
  k.SetValue(L"LogLevel", RegType::Dword, platform::RegValueBytes(RegValue::Dword(26)));
  k.SetValue(L"Name \"q\"", RegType::Sz, platform::RegValueBytes(RegValue::String(L"C:\\x")));
  k.SetValue(L"", RegType::ExpandSz, platform::RegValueBytes(RegValue::Expand(L"%a%")));
  EXPECT_EQ(Serialize(root, kHkcu),
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

TEST(RegFile, BadInputNamesItsLine) {
  const std::pair<const char*, int> cases[] = {
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
  };
  for (auto [text, line] : cases) {
    Key root;
    root.name = kHkcu;
    auto result = Parse(text, kHkcu, &root);
    EXPECT_FALSE(result.ok) << text;
    EXPECT_EQ(result.line, line) << text;
    EXPECT_FALSE(result.message.empty());
  }
  Key empty;
  EXPECT_TRUE(Parse("", kHkcu, &empty).ok);
  EXPECT_TRUE(Parse("Windows Registry Editor Version 5.00\n", kHkcu, &empty).ok);
}

std::string Hive(const std::string& body) { return "Windows Registry Editor Version 5.00\r\n\r\n" + body; }

// Found by fuzzing: a key nested tens of thousands of levels deep overflowed the stack when
// written back (and would have written a file the square of its size): keys
// deeper than the registry's 512 levels are refused with their line.
TEST(RegFile, KeysDeeperThan512LevelsAreRefused) {
  auto nested = [](int depth) {
    std::string path = "[HKEY_CURRENT_USER";
    for (int i = 0; i < depth; ++i) path += "\\k";
    return Hive(path + "]\r\n\"v\"=\"x\"\r\n");
  };
  Key root;
  auto deep = Parse(nested(60000), kHkcu, &root);
  EXPECT_FALSE(deep.ok);
  EXPECT_EQ(deep.line, 3);

  Key kept;
  ASSERT_TRUE(Parse(nested(512), kHkcu, &kept).ok);
  Key again;
  ASSERT_TRUE(Parse(Serialize(kept, kHkcu), kHkcu, &again).ok);
  const Key* leaf = &again;
  for (int i = 0; i < 512 && leaf; ++i) leaf = leaf->FindSubkey(L"K");
  ASSERT_NE(leaf, nullptr);
  EXPECT_NE(leaf->FindValue(L"v"), nullptr);
}

// Sub-keys are found by binary search over their sorted order, so that wide
// hives read in n log n; every key of a wide hive, in any case, is found.
TEST(RegFile, EveryKeyOfAWideHiveIsFoundInAnyCase) {
  std::string body;
  for (int i = 2999; i >= 0; --i) body += "[HKEY_CURRENT_USER\\Key" + std::to_string(i * 7919 % 3000) + "]\r\n";
  Key root;
  ASSERT_TRUE(Parse(Hive(body), kHkcu, &root).ok);
  ASSERT_EQ(root.subkeys.size(), 3000u);
  for (int i = 0; i < 3000; ++i) {
    std::wstring name = (i % 2 ? L"KEY" : L"key") + std::to_wstring(i);
    ASSERT_NE(root.FindSubkey(name), nullptr) << i;
  }
  EXPECT_EQ(root.FindSubkey(L"Key3000"), nullptr);
  EXPECT_EQ(root.FindSubkey(L"Ke"), nullptr);
}

}  // namespace
