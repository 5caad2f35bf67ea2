#include <cstring>

#include "src/platform/Registry.h"
#include "src/platform/Strings.h"

namespace platform {
namespace {

void AppendUtf16(std::vector<std::uint8_t>& out, const std::wstring& text) {
  std::string bytes = ToUtf16Le(text);
  out.insert(out.end(), bytes.begin(), bytes.end());
  out.push_back(0);
  out.push_back(0);
}

// UTF-16LE units up to (not including) the first NUL unit from `pos`;
// `pos` moves past that NUL.
std::wstring ReadUtf16Z(const std::vector<std::uint8_t>& bytes, size_t* pos) {
  size_t start = *pos;
  size_t end = start;
  while (end + 1 < bytes.size() && (bytes[end] != 0 || bytes[end + 1] != 0)) end += 2;
  std::string_view units(reinterpret_cast<const char*>(bytes.data()) + start, end - start);
  *pos = end + 2;
  return FromUtf16Le(units);
}

}  // namespace

std::vector<std::uint8_t> RegValueBytes(const RegValue& value) {
  std::vector<std::uint8_t> out;
  if (value.raw) return value.binary;
  switch (value.type) {
    case RegType::Sz:
    case RegType::ExpandSz:
      AppendUtf16(out, value.text);
      break;
    case RegType::MultiSz:
      for (const auto& s : value.multi) {
        // An empty string would end the list early for every reader.
        if (!s.empty()) AppendUtf16(out, s);
      }
      out.push_back(0);
      out.push_back(0);
      break;
    case RegType::Dword:
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value.dword >> (8 * i)));
      break;
    case RegType::Qword:
      for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(value.qword >> (8 * i)));
      break;
    default:
      out = value.binary;
      break;
  }
  return out;
}

RegValue RegValueFromBytes(RegType type, const std::vector<std::uint8_t>& bytes) {
  RegValue v;
  v.type = type;
  switch (type) {
    case RegType::Sz:
    case RegType::ExpandSz:
    case RegType::MultiSz:
      if (bytes.size() % 2 != 0) break;
      if (type == RegType::MultiSz) {
        size_t pos = 0;
        while (pos + 1 < bytes.size()) {
          std::wstring s = ReadUtf16Z(bytes, &pos);
          if (s.empty()) break;
          v.multi.push_back(std::move(s));
        }
      } else {
        size_t pos = 0;
        v.text = ReadUtf16Z(bytes, &pos);
      }
      return v;
    case RegType::Dword:
      if (bytes.size() != 4) break;
      for (int i = 0; i < 4; ++i) v.dword |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
      return v;
    case RegType::Qword:
      if (bytes.size() != 8) break;
      for (int i = 0; i < 8; ++i) v.qword |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
      return v;
    default:
      v.binary = bytes;
      return v;
  }
  v.binary = bytes;
  v.raw = true;
  return v;
}

bool IsWellFormedValue(const RegValue& value) {
  return !value.raw || !RegValueFromBytes(value.type, value.binary).raw;
}

bool ParseHiveName(const std::wstring& name, Hive* out) {
  struct Entry {
    const wchar_t* shortName;
    const wchar_t* longName;
    Hive hive;
  };
  static const Entry kHives[] = {
      {L"HKCU", L"HKEY_CURRENT_USER", Hive::CurrentUser},
      {L"HKLM", L"HKEY_LOCAL_MACHINE", Hive::LocalMachine},
      {L"HKCR", L"HKEY_CLASSES_ROOT", Hive::ClassesRoot},
  };
  for (const auto& e : kHives) {
    if (EqualsNoCase(name, e.shortName) || EqualsNoCase(name, e.longName)) {
      if (out) *out = e.hive;
      return true;
    }
  }
  return false;
}

std::wstring HiveLongName(Hive hive) {
  switch (hive) {
    case Hive::CurrentUser: return L"HKEY_CURRENT_USER";
    case Hive::LocalMachine: return L"HKEY_LOCAL_MACHINE";
    case Hive::ClassesRoot: return L"HKEY_CLASSES_ROOT";
  }
  return {};
}

namespace {
struct TypeName {
  RegType type;
  const wchar_t* name;
};
const TypeName kTypeNames[] = {
    {RegType::None, L"REG_NONE"},         {RegType::Sz, L"REG_SZ"},
    {RegType::ExpandSz, L"REG_EXPAND_SZ"}, {RegType::Binary, L"REG_BINARY"},
    {RegType::Dword, L"REG_DWORD"},       {RegType::MultiSz, L"REG_MULTI_SZ"},
    {RegType::Qword, L"REG_QWORD"},
};
}  // namespace

std::wstring RegTypeName(RegType type) {
  for (const auto& t : kTypeNames) {
    if (t.type == type) return t.name;
  }
  return L"REG_0x" + [&] {
    wchar_t buf[16];
    swprintf(buf, 16, L"%x", static_cast<unsigned>(type));
    return std::wstring(buf);
  }();
}

bool ParseRegTypeName(const std::wstring& name, RegType* out) {
  for (const auto& t : kTypeNames) {
    if (EqualsNoCase(name, t.name)) {
      if (out) *out = t.type;
      return true;
    }
  }
  return false;
}

}  // namespace platform
