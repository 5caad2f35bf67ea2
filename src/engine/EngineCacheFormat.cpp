// The bytes of "Engines.tsv" and the entries they stand for. No I/O here:
// the cache reads and writes the file, this side only parses and prints it.
#include "src/engine/EngineCacheFormat.h"

#include <cstdint>
#include <cwchar>
#include <string_view>

#include "src/platform/Strings.h"

namespace engine {

namespace {

enum Column { kChecked, kEngineGroup, kEngineID, kFromLang, kToLang, kFlags, kDisplayName, kProductName,
              kProductNameShort, kColumnCount };

std::wstring EscapeCell(const std::wstring& cell) {
  std::wstring out;
  out.reserve(cell.size());
  for (size_t i = 0; i < cell.size(); ++i) {
    wchar_t c = cell[i];
    if (c == L'\r' && i + 1 < cell.size() && cell[i + 1] == L'\n') {
      out += L"  ";
      ++i;
    } else if (c == L'\t' || c == L'\r' || c == L'\n' || c == 0) {
      // A lone line break or NUL would split or end the row on reading.
      out += L' ';
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::wstring> SplitCells(const std::wstring& line) {
  std::vector<std::wstring> cells;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find(L'\t', start);
    if (tab == std::wstring::npos) {
      cells.push_back(line.substr(start));
      return cells;
    }
    cells.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

std::int32_t ParseFlags(const std::wstring& text) {
  // Base from the prefix, as the C library reads it: "0x" hex, "0" octal.
  const wchar_t* begin = text.c_str();
  wchar_t* end = nullptr;
  long long value = std::wcstoll(begin, &end, 0);
  if (end == begin) return 0;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace

const std::vector<std::wstring>& EngineCacheColumns() {
  static const std::vector<std::wstring> columns = {L"Checked",  L"EngineGroup", L"EngineID",
                                                    L"FromLang", L"ToLang",      L"Flags",
                                                    L"DisplayName", L"ProductName", L"ProductNameShort"};
  return columns;
}

EngineCacheTable TableFromEntries(const EngineEntryList& entries) {
  EngineCacheTable table;
  table.header = EngineCacheColumns();
  table.rows.reserve(entries.size());
  for (const auto& [key, e] : entries) {
    table.rows.push_back({std::to_wstring(e.Checked()), e.EngineGroup(), e.EngineID(), e.FromLang(), e.ToLang(),
                          std::to_wstring(e.Flags()), e.DisplayName(), e.ProductName(), e.ProductNameShort()});
  }
  return table;
}

bool EntriesFromTable(const EngineCacheTable& table, EngineEntryList* out, std::wstring* reason) {
  const auto& names = EngineCacheColumns();
  int position[kColumnCount];
  bool any = false;
  for (int c = 0; c < kColumnCount; ++c) {
    position[c] = -1;
    for (size_t h = 0; h < table.header.size(); ++h) {
      if (table.header[h] == names[c]) {
        position[c] = static_cast<int>(h);
        any = true;
        break;
      }
    }
  }
  bool headerPresent = table.header.size() > 1 || (table.header.size() == 1 && !table.header[0].empty());
  if (!any && (headerPresent || !table.rows.empty())) {
    if (reason) *reason = L"the header names none of the engine cache columns";
    return false;
  }
  EngineEntryList entries;
  entries.reserve(table.rows.size());
  for (const auto& row : table.rows) {
    auto cell = [&](int column, std::wstring* value) {
      int at = position[column];
      if (at < 0 || static_cast<size_t>(at) >= row.size()) return false;
      *value = row[at];
      return true;
    };
    EngineEntry e;
    std::wstring v;
    if (cell(kChecked, &v)) e.SetChecked(v == L"0" ? 0 : 1);
    if (cell(kEngineGroup, &v)) e.SetEngineGroup(v);
    if (cell(kEngineID, &v)) e.SetEngineID(v);
    if (cell(kFromLang, &v)) e.SetFromLang(v);
    if (cell(kToLang, &v)) e.SetToLang(v);
    if (cell(kFlags, &v)) e.SetFlags(ParseFlags(v));
    if (cell(kDisplayName, &v)) e.SetDisplayName(v);
    if (cell(kProductName, &v)) e.SetProductName(v);
    if (cell(kProductNameShort, &v)) e.SetProductNameShort(v);
    std::wstring key = e.EngineKey();
    entries.emplace_back(std::move(key), std::move(e));
  }
  *out = std::move(entries);
  return true;
}

std::string FormatCacheFile(const EngineCacheTable& table) {
  std::wstring text;
  auto addLine = [&](const std::vector<std::wstring>& cells) {
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i) text += L'\t';
      text += EscapeCell(cells[i]);
    }
    text += L"\r\n";
  };
  addLine(table.header);
  for (const auto& row : table.rows) addLine(row);
  return std::string("\xFF\xFE", 2) + platform::ToUtf16Le(text);
}

bool ParseCacheFile(const std::string& bytes, EngineCacheTable* out, std::wstring* reason) {
  std::string_view body(bytes);
  if (body.size() >= 2 && static_cast<unsigned char>(body[0]) == 0xFF && static_cast<unsigned char>(body[1]) == 0xFE) {
    body.remove_prefix(2);
  }
  if (body.size() % 2 != 0) {
    if (reason) *reason = L"odd number of bytes: not UTF-16LE text";
    return false;
  }
  for (size_t i = 0; i < body.size(); i += 2) {
    unsigned unit = static_cast<unsigned char>(body[i]) | (static_cast<unsigned char>(body[i + 1]) << 8);
    if (unit == 0) {
      if (reason) *reason = L"NUL character: not a text file";
      return false;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      unsigned next = 0;
      if (i + 3 < body.size()) next = static_cast<unsigned char>(body[i + 2]) | (static_cast<unsigned char>(body[i + 3]) << 8);
      if (next < 0xDC00 || next > 0xDFFF) {
        if (reason) *reason = L"broken surrogate pair: not UTF-16LE text";
        return false;
      }
      i += 2;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      if (reason) *reason = L"broken surrogate pair: not UTF-16LE text";
      return false;
    }
  }
  std::wstring text = platform::FromUtf16Le(body);
  EngineCacheTable table;
  size_t start = 0;
  bool first = true;
  while (start < text.size()) {
    size_t nl = text.find(L'\n', start);
    size_t end = nl == std::wstring::npos ? text.size() : nl;
    size_t stop = end;
    if (stop > start && text[stop - 1] == L'\r') --stop;
    std::wstring line = text.substr(start, stop - start);
    start = nl == std::wstring::npos ? text.size() : nl + 1;
    if (first) {
      table.header = SplitCells(line);
      first = false;
    } else if (!line.empty()) {
      table.rows.push_back(SplitCells(line));
    }
  }
  *out = std::move(table);
  return true;
}

}  // namespace engine
