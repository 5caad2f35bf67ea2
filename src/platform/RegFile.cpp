#include "src/platform/RegFile.h"

#include <algorithm>
#include <cstdio>

#include "src/platform/Strings.h"

namespace platform::regfile {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

// Case-insensitive order of the registry's sub-key enumeration.
bool LessNoCase(std::wstring_view a, std::wstring_view b) { return AsciiLower(a) < AsciiLower(b); }

constexpr size_t kMaxKeyDepth = 512;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Quote(const std::wstring& text) {
  std::string out = "\"";
  for (char c : ToUtf8(text)) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// Text that can be written as a quoted string and read back unchanged:
// exactly one terminator, no NUL inside, nothing that would break a line.
bool IsPlainString(const std::vector<std::uint8_t>& data, std::wstring* text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  if (data[data.size() - 1] != 0 || data[data.size() - 2] != 0) return false;
  std::string_view units(reinterpret_cast<const char*>(data.data()), data.size() - 2);
  for (size_t i = 0; i + 1 < units.size(); i += 2) {
    unsigned u = static_cast<unsigned char>(units[i]) | (static_cast<unsigned char>(units[i + 1]) << 8);
    if (u == 0 || u == '\r' || u == '\n') return false;
  }
  *text = FromUtf16Le(units);
  // Unpaired surrogates would not survive the trip through UTF-8.
  return ToUtf16Le(*text) == units;
}

size_t FirstInvalidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n;
    char32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      n = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 3;
      cp = c & 0x07;
    } else {
      return i;
    }
    for (size_t k = 1; k <= n; ++k) {
      if (i + k >= s.size()) return i;
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return i;
      cp = (cp << 6) | (d & 0x3F);
    }
    bool overlong = (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
    i += n + 1;
  }
  return std::string_view::npos;
}

class Parser {
 public:
  Parser(std::string_view text, std::wstring_view hive, Key* root) : mText(text), mHive(hive), mRoot(root) {}

  ParseResult Run() {
    if (mText.substr(0, 3) == "\xEF\xBB\xBF") mText.remove_prefix(3);
    size_t bad = FirstInvalidUtf8(mText);
    if (bad != std::string_view::npos) {
      // Replacing the bytes that are not UTF-8 would lose them on the next
      // write; the caller keeps such a file aside instead.
      mLine = 1 + static_cast<int>(std::count(mText.begin(), mText.begin() + static_cast<std::ptrdiff_t>(bad), '\n'));
      return Fail("the file is not UTF-8 text");
    }
    bool sawHeader = false;
    std::string_view line;
    while (NextLine(&line)) {
      std::string_view t = Trim(line);
      if (t.empty()) continue;
      if (t.front() == ';') {
        mComments.emplace_back(t);
        continue;
      }
      if (!sawHeader) {
        if (t != kHeader) return Fail("the file does not start with \"" + std::string(kHeader) + "\"");
        sawHeader = true;
        continue;
      }
      bool ok = t.front() == '[' ? KeyLine(t) : ValueLine(t);
      if (!ok) return mResult;
    }
    auto& tail = mRoot->comments;
    tail.insert(tail.end(), mComments.begin(), mComments.end());
    return mResult;
  }

 private:
  bool NextLine(std::string_view* line) {
    if (mPos >= mText.size()) return false;
    size_t end = mText.find('\n', mPos);
    if (end == std::string_view::npos) end = mText.size();
    *line = mText.substr(mPos, end - mPos);
    mPos = end + 1;
    ++mLine;
    return true;
  }

  ParseResult Fail(std::string message) {
    mResult.ok = false;
    mResult.line = mLine;
    mResult.message = std::move(message);
    return mResult;
  }

  bool KeyLine(std::string_view t) {
    if (t.back() != ']') return Fail("a key line must end with ']'"), false;
    std::string_view inner = t.substr(1, t.size() - 2);
    bool remove = !inner.empty() && inner.front() == '-';
    if (remove) inner.remove_prefix(1);
    std::wstring path = FromUtf8(inner);
    size_t slash = path.find(L'\\');
    std::wstring hive = path.substr(0, slash);
    Hive h1, h2;
    if (!ParseHiveName(hive, &h1) || !ParseHiveName(std::wstring(mHive), &h2) || h1 != h2)
      return Fail("the key \"" + std::string(inner) + "\" does not belong to " + ToUtf8(mHive)), false;
    std::wstring rest = slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
    std::vector<std::wstring> parts = SplitPath(rest);
    // As deep as the Windows registry goes; deeper would only exhaust the
    // stack and write a file the square of the input's size.
    if (parts.size() > kMaxKeyDepth) return Fail("the key is nested deeper than 512 levels"), false;
    if (remove) {
      mCurrent = nullptr;
      if (parts.empty()) {
        *mRoot = Key{mRoot->name, {}, {}, {}};
        return true;
      }
      std::wstring parentPath;
      for (size_t i = 0; i + 1 < parts.size(); ++i) parentPath += parts[i] + L"\\";
      if (Key* parent = mRoot->Find(parentPath)) parent->RemoveSubkey(parts.back());
      return true;
    }
    Key* k = mRoot;
    for (const auto& p : parts) k = &k->AddSubkey(p);
    k->comments.insert(k->comments.end(), mComments.begin(), mComments.end());
    mComments.clear();
    mCurrent = k;
    // AddSubkey may move siblings; keep only the path, re-resolved per value.
    mCurrentPath = rest;
    return true;
  }

  // A quoted string starting at s[*i] == '"'; escapes \\ and \".
  bool QuotedString(std::string_view s, size_t* i, std::string* out) {
    ++*i;
    while (*i < s.size()) {
      char c = s[*i];
      if (c == '\\' && *i + 1 < s.size()) {
        out->push_back(s[*i + 1]);
        *i += 2;
        continue;
      }
      if (c == '"') {
        ++*i;
        return true;
      }
      out->push_back(c);
      ++*i;
    }
    return false;
  }

  // Comma-separated hex bytes, continued over lines that end with '\'.
  bool HexBytes(std::string_view s, std::vector<std::uint8_t>* out) {
    for (;;) {
      std::string_view t = Trim(s);
      bool more = !t.empty() && t.back() == '\\';
      if (more) t.remove_suffix(1);
      size_t i = 0;
      while (i < t.size()) {
        while (i < t.size() && (IsBlank(t[i]) || t[i] == ',')) ++i;
        if (i >= t.size()) break;
        int hi = HexDigit(t[i]);
        int lo = i + 1 < t.size() ? HexDigit(t[i + 1]) : -1;
        if (hi < 0 || lo < 0) return Fail("bad hexadecimal byte in value data"), false;
        out->push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        i += 2;
        if (i < t.size() && !IsBlank(t[i]) && t[i] != ',') return Fail("bad hexadecimal byte in value data"), false;
      }
      if (!more) return true;
      if (!NextLine(&s)) return Fail("value data continues past the end of the file"), false;
    }
  }

  bool ValueLine(std::string_view t) {
    if (!mCurrent) return Fail("a value outside of any key"), false;
    std::wstring name;
    size_t i = 0;
    if (t[0] == '@') {
      i = 1;
    } else if (t[0] == '"') {
      std::string raw;
      if (!QuotedString(t, &i, &raw)) return Fail("unterminated value name"), false;
      name = FromUtf8(raw);
    } else {
      return Fail("a line that is neither a key, a value nor a comment"), false;
    }
    while (i < t.size() && IsBlank(t[i])) ++i;
    if (i >= t.size() || t[i] != '=') return Fail("'=' expected after the value name"), false;
    ++i;
    while (i < t.size() && IsBlank(t[i])) ++i;
    std::string_view data = t.substr(i);
    Key* key = mRoot->Find(mCurrentPath);
    if (data == "-") {
      key->RemoveValue(name);
      return true;
    }
    if (!data.empty() && data[0] == '"') {
      std::string raw;
      size_t j = 0;
      if (!QuotedString(data, &j, &raw)) return Fail("unterminated string value"), false;
      std::string_view tail = Trim(data.substr(j));
      if (!tail.empty() && tail.front() != ';') return Fail("text after the end of a string value"), false;
      RegValue v = RegValue::String(FromUtf8(raw));
      key->SetValue(name, RegType::Sz, RegValueBytes(v));
      TakeComments(key, name);
      return true;
    }
    if (data.substr(0, 6) == "dword:") {
      std::string_view digits = Trim(data.substr(6));
      if (digits.empty() || digits.size() > 8) return Fail("a dword needs 1 to 8 hexadecimal digits"), false;
      std::uint32_t d = 0;
      for (char c : digits) {
        int h = HexDigit(c);
        if (h < 0) return Fail("a dword needs 1 to 8 hexadecimal digits"), false;
        d = d * 16 + static_cast<std::uint32_t>(h);
      }
      key->SetValue(name, RegType::Dword, RegValueBytes(RegValue::Dword(d)));
      TakeComments(key, name);
      return true;
    }
    if (data.substr(0, 3) == "hex") {
      RegType type = RegType::Binary;
      size_t j = 3;
      if (j < data.size() && data[j] == '(') {
        size_t close = data.find(')', j);
        if (close == std::string_view::npos) return Fail("unterminated hex( type"), false;
        std::string_view num = data.substr(j + 1, close - j - 1);
        if (num.empty() || num.size() > 8) return Fail("bad hex( type"), false;
        std::uint32_t n = 0;
        for (char c : num) {
          int h = HexDigit(c);
          if (h < 0) return Fail("bad hex( type"), false;
          n = n * 16 + static_cast<std::uint32_t>(h);
        }
        type = static_cast<RegType>(n);
        j = close + 1;
      }
      if (j >= data.size() || data[j] != ':') return Fail("':' expected after hex"), false;
      std::vector<std::uint8_t> bytes;
      if (!HexBytes(data.substr(j + 1), &bytes)) return false;
      key = mRoot->Find(mCurrentPath);
      key->SetValue(name, type, std::move(bytes));
      TakeComments(key, name);
      return true;
    }
    return Fail("unknown value data \"" + std::string(data.substr(0, 20)) + "\""), false;
  }

  void TakeComments(Key* key, const std::wstring& name) {
    if (mComments.empty()) return;
    if (Value* v = key->FindValue(name)) v->comments.insert(v->comments.end(), mComments.begin(), mComments.end());
    mComments.clear();
  }

  std::vector<std::string> mComments;
  std::string_view mText;
  std::wstring_view mHive;
  Key* mRoot;
  Key* mCurrent = nullptr;
  std::wstring mCurrentPath;
  size_t mPos = 0;
  int mLine = 0;
  ParseResult mResult;
};

void WriteHex(std::string& out, size_t column, const std::vector<std::uint8_t>& data) {
  char buf[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x", data[i]);
    out += buf;
    column += 2;
    if (i + 1 < data.size()) {
      out.push_back(',');
      ++column;
      if (column > 76) {
        out += "\\\n  ";
        column = 2;
      }
    }
  }
}

void WriteKey(std::string& out, const Key& key, const std::string& path, bool isRoot) {
  if (!isRoot || !key.values.empty()) {
    out += "\n";
    if (!isRoot) {
      for (const auto& c : key.comments) out += c + "\n";
    }
    out += "[" + path + "]\n";
    for (const auto& v : key.values) {
      for (const auto& c : v.comments) out += c + "\n";
      std::string line = v.name.empty() ? "@" : Quote(v.name);
      line += "=";
      std::wstring text;
      if (v.type == RegType::Sz && IsPlainString(v.data, &text)) {
        line += Quote(text);
      } else if (v.type == RegType::Dword && v.data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", RegValueFromBytes(RegType::Dword, v.data).dword);
        line += buf;
      } else {
        if (v.type == RegType::Binary) {
          line += "hex:";
        } else {
          char buf[24];
          std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
          line += buf;
        }
        WriteHex(line, line.size(), v.data);
      }
      out += line + "\n";
    }
  }
  for (const auto& sub : key.subkeys) WriteKey(out, sub, path + "\\" + ToUtf8(sub.name), false);
}

}  // namespace

Key* Key::FindSubkey(std::wstring_view n) {
  // Sub-keys stay sorted (AddSubkey): a hive of thousands of keys must not
  // take a scan per key to read.
  auto pos = std::lower_bound(subkeys.begin(), subkeys.end(), n,
                              [](const Key& k, std::wstring_view name) { return LessNoCase(k.name, name); });
  return pos != subkeys.end() && EqualsNoCase(pos->name, n) ? &*pos : nullptr;
}

const Key* Key::FindSubkey(std::wstring_view n) const { return const_cast<Key*>(this)->FindSubkey(n); }

Key& Key::AddSubkey(std::wstring_view n) {
  if (Key* k = FindSubkey(n)) return *k;
  auto pos = std::lower_bound(subkeys.begin(), subkeys.end(), n,
                              [](const Key& k, std::wstring_view name) { return LessNoCase(k.name, name); });
  return *subkeys.insert(pos, Key{std::wstring(n), {}, {}, {}});
}

bool Key::RemoveSubkey(std::wstring_view n) {
  for (auto it = subkeys.begin(); it != subkeys.end(); ++it) {
    if (EqualsNoCase(it->name, n)) {
      subkeys.erase(it);
      return true;
    }
  }
  return false;
}

Value* Key::FindValue(std::wstring_view n) {
  for (auto& v : values) {
    if (EqualsNoCase(v.name, n)) return &v;
  }
  return nullptr;
}

const Value* Key::FindValue(std::wstring_view n) const { return const_cast<Key*>(this)->FindValue(n); }

void Key::SetValue(std::wstring_view n, RegType type, std::vector<std::uint8_t> data) {
  if (Value* v = FindValue(n)) {
    v->type = type;
    v->data = std::move(data);
    return;
  }
  values.push_back(Value{std::wstring(n), type, std::move(data), {}});
}

bool Key::RemoveValue(std::wstring_view n) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (EqualsNoCase(it->name, n)) {
      values.erase(it);
      return true;
    }
  }
  return false;
}

Key* Key::Find(std::wstring_view path) {
  Key* k = this;
  for (const auto& part : SplitPath(path)) {
    k = k->FindSubkey(part);
    if (!k) return nullptr;
  }
  return k;
}

const Key* Key::Find(std::wstring_view path) const { return const_cast<Key*>(this)->Find(path); }

std::vector<std::wstring> SplitPath(std::wstring_view path) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring_view::npos) end = path.size();
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

ParseResult Parse(std::string_view text, std::wstring_view hiveName, Key* root) {
  // regedit itself exports UTF-16LE with a byte-order mark; such a file
  // copied over from Windows is read as it is.
  if (text.size() >= 2 && text[0] == '\xFF' && text[1] == '\xFE') {
    std::string utf8 = ToUtf8(FromUtf16Le(text.substr(2)));
    Parser p(utf8, hiveName, root);
    return p.Run();
  }
  Parser p(text, hiveName, root);
  return p.Run();
}

std::string Serialize(const Key& root, std::wstring_view hiveName) {
  std::string out(kHeader);
  out += "\n";
  WriteKey(out, root, ToUtf8(hiveName), true);
  if (!root.comments.empty()) {
    out += "\n";
    for (const auto& c : root.comments) out += c + "\n";
  }
  return out;
}

}  // namespace platform::regfile
