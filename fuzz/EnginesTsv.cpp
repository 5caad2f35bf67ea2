// The engine cache file (UTF-16LE, tab-separated): parsed into a table and
// entries and written back. Writing flattens tabs and line breaks inside
// cells, so the written file, not the input, must read back to itself.
#include <string>

#include "fuzz/FuzzSupport.h"
#include "src/engine/EngineCaches.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  engine::EngineCacheTable table;
  std::wstring reason;
  if (!engine::ParseCacheFile(bytes, &table, &reason)) {
    if (reason.empty()) fuzz::Fail("a refused cache file has no reason");
    return 0;
  }
  engine::EngineEntryList entries;
  if (!engine::EntriesFromTable(table, &entries, &reason)) return 0;
  std::string written = engine::FormatCacheFile(engine::TableFromEntries(entries));
  engine::EngineCacheTable reread;
  engine::EngineEntryList again;
  if (!engine::ParseCacheFile(written, &reread, &reason) || !engine::EntriesFromTable(reread, &again, &reason))
    fuzz::Fail("a written cache file does not read back");
  if (engine::FormatCacheFile(engine::TableFromEntries(again)) != written)
    fuzz::Fail("a written cache file changes when read and written again");
  return 0;
}
