// Zip-aware mutation for the package targets. Random bytes in a deflated
// stream almost never get past the zip layer, so most mutations open the
// package, let libFuzzer mutate one XML part (with the XML dictionary) and
// write the package again; the other parts are copied as they were. Some
// mutations still work on the raw bytes so that the zip reader is fuzzed too.
#include <zip.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

extern "C" size_t LLVMFuzzerMutate(std::uint8_t* data, size_t size, size_t maxSize);

namespace {

bool IsXmlPart(const char* name) {
  std::string n(name);
  auto endsWith = [&](const char* tail) {
    size_t len = std::strlen(tail);
    return n.size() >= len && n.compare(n.size() - len, len, tail) == 0;
  };
  return endsWith(".xml") || endsWith(".rels");
}

// Reads the whole buffer source after zip_close wrote the new package to it.
bool ReadSource(zip_source_t* src, std::string* out) {
  zip_stat_t st;
  if (zip_source_open(src) < 0) return false;
  bool ok = zip_source_stat(src, &st) == 0 && (st.valid & ZIP_STAT_SIZE);
  if (ok) {
    out->resize(st.size);
    ok = zip_source_read(src, out->data(), st.size) == static_cast<zip_int64_t>(st.size);
  }
  zip_source_close(src);
  return ok;
}

bool MutateOnePart(const std::uint8_t* data, size_t size, size_t maxSize, std::minstd_rand& rng, std::string* out) {
  zip_error_t error;
  zip_error_init(&error);
  // The source owns a copy: writing the new package may reuse and free the
  // buffer it was made from.
  auto* copy = static_cast<std::uint8_t*>(std::malloc(size ? size : 1));
  if (!copy) return false;
  std::memcpy(copy, data, size);
  zip_source_t* src = zip_source_buffer_create(copy, size, 1, &error);
  zip_error_fini(&error);
  if (!src) {
    std::free(copy);
    return false;
  }
  zip_t* za = zip_open_from_source(src, 0, nullptr);
  if (!za) {
    zip_source_free(src);
    return false;
  }
  // Kept past zip_close, which writes the new package into it.
  zip_source_keep(src);
  std::vector<zip_uint64_t> parts;
  zip_int64_t count = zip_get_num_entries(za, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(za, static_cast<zip_uint64_t>(i), 0);
    if (name && IsXmlPart(name)) parts.push_back(static_cast<zip_uint64_t>(i));
  }
  bool ok = false;
  zip_stat_t st;
  if (!parts.empty()) {
    zip_uint64_t index = parts[rng() % parts.size()];
    zip_file_t* file = nullptr;
    if (zip_stat_index(za, index, 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE) && st.size < maxSize &&
        (file = zip_fopen_index(za, index, 0)) != nullptr) {
      size_t capacity = std::min<size_t>(st.size + 4096, maxSize);
      auto* bytes = static_cast<std::uint8_t*>(std::malloc(capacity));
      zip_int64_t got = bytes ? zip_fread(file, bytes, st.size) : -1;
      zip_fclose(file);
      if (got == static_cast<zip_int64_t>(st.size)) {
        size_t mutated = LLVMFuzzerMutate(bytes, st.size, capacity);
        // The part source takes the bytes and frees them.
        zip_source_t* part = zip_source_buffer(za, bytes, mutated, 1);
        if (part && zip_file_replace(za, index, part, 0) == 0) {
          bytes = nullptr;
          zip_set_file_compression(za, index, ZIP_CM_DEFLATE, 1);
          if (zip_close(za) == 0) {
            ok = true;
            za = nullptr;
          }
        } else if (part) {
          zip_source_free(part);
          bytes = nullptr;
        }
      }
      std::free(bytes);
    }
  }
  if (za) zip_discard(za);
  ok = ok && ReadSource(src, out) && out->size() <= maxSize;
  zip_source_free(src);
  return ok;
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(std::uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
  std::minstd_rand rng(seed);
  if (rng() % 8 != 0) {
    std::string package;
    if (MutateOnePart(data, size, maxSize, rng, &package)) {
      std::memcpy(data, package.data(), package.size());
      return package.size();
    }
  }
  return LLVMFuzzerMutate(data, size, maxSize);
}
