// The "Engines.tsv" format: the table the file holds, its bytes, and the
// entries it stands for. Pure functions without I/O, safe from any thread.
#pragma once

#include <string>
#include <vector>

#include "src/engine/EngineEntry.h"

namespace engine {

// One table as "Engines.tsv" holds it: the header cells, then one row of
// cells per entry.
struct EngineCacheTable {
  std::vector<std::wstring> header;
  std::vector<std::vector<std::wstring>> rows;
  bool operator==(const EngineCacheTable&) const = default;
};

// The header of a written file, in column order.
const std::vector<std::wstring>& EngineCacheColumns();

// Entries to table and back. EntriesFromTable matches columns by header name;
// it fails (false, with a reason) only when the header holds none of the
// known columns while rows are present.
EngineCacheTable TableFromEntries(const EngineEntryList& entries);
bool EntriesFromTable(const EngineCacheTable& table, EngineEntryList* out, std::wstring* reason);

// The file bytes: UTF-16LE with byte-order mark, CR LF line ends, TAB between
// cells; TABs inside a cell become one blank, line breaks inside a cell become
// blanks. ParseCacheFile fails on bytes that are not UTF-16LE text (odd
// length, broken surrogates, NUL characters) or on a header it cannot use.
std::string FormatCacheFile(const EngineCacheTable& table);
bool ParseCacheFile(const std::string& bytes, EngineCacheTable* out, std::wstring* reason);

}  // namespace engine
