// An Office Open XML package opened from a zip file and edited in place.
//
// Parts are read lazily. A part that nobody marked dirty is copied to the
// saved file as the raw compressed entry of the source zip, so it survives
// byte for byte; a dirty XML part is serialised from its pugixml document
// without reformatting (whitespace, declaration and byte-order mark kept).
// Entry order of the source is kept; new parts go to the end. A package
// opened from a file this process saved, unchanged on disk since, is as
// independent as any other, but takes the parts it shares with the
// package it was saved from as inflated by whichever read them first, and
// reads through the zip directory already open on the same bytes (a copy
// saved twice unchanged is one file's bytes twice).
//
// Reading is defensive: entry names that would leave the package, too many
// entries, entries or totals larger than the limits, DTDs in XML parts (so
// no entity can expand) are refused with a PackageError naming the file and
// the fault. Nothing is written to the source file, ever.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "src/platform/ComError.h"

namespace host::pptx {

// A damaged, unsupported or unsafe package, or a failed save. what() and
// Description() name the file and say what is wrong.
class PackageError : public platform::ComError {
 public:
  PackageError(HRESULT hr, const std::wstring& description) : platform::ComError(hr, description) {}
};

struct PackageLimits {
  std::size_t maxEntries = 20000;
  std::uint64_t maxEntrySize = 512ull << 20;   // uncompressed bytes of one entry
  std::uint64_t maxTotalSize = 2048ull << 20;  // uncompressed bytes of all entries
  // Uncompressed/compressed ratio above which an entry bigger than 1 MiB
  // counts as a bomb.
  std::uint64_t maxRatio = 1000;
};

struct Relationship {
  std::string id;
  std::string type;        // full type URI
  std::string target;      // as written
  bool external = false;   // TargetMode="External"
  std::string targetPart;  // resolved part name for internal targets ("ppt/slides/slide1.xml")
};

class Package {
 public:
  ~Package();
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  // Throws PackageError (STG_E_FILENOTFOUND, STG_E_INVALIDHEADER,
  // E_ACCESSDENIED ...) when the file cannot be used.
  static std::unique_ptr<Package> Open(const std::filesystem::path& file, const PackageLimits& limits = {});
  // An empty package (no parts); used for new presentations.
  static std::unique_ptr<Package> Create();

  const std::filesystem::path& File() const { return mFile; }

  // Part names have no leading '/' ("ppt/slides/slide1.xml"); lookups are
  // case-insensitive as the package format requires.
  std::vector<std::string> PartNames() const;
  bool HasPart(const std::string& name) const;
  // From [Content_Types].xml (override, then default by extension); empty when unknown.
  std::string ContentType(const std::string& name);
  // Uncompressed bytes of a part; throws PackageError when missing or unreadable.
  const std::string& Bytes(const std::string& name);
  // Parsed on first use and kept; throws PackageError on malformed XML or a DTD.
  pugi::xml_document& Xml(const std::string& name);
  // The part is re-serialised from its document (or its replaced bytes) on save.
  void MarkDirty(const std::string& name);
  bool IsDirty(const std::string& name) const;
  // Adds or replaces a part with raw bytes and registers its content type
  // as an override (an empty content type leaves [Content_Types].xml alone).
  void SetPart(const std::string& name, std::string bytes, const std::string& contentType = {});
  // Adds a part holding an XML document; it is dirty and registered.
  pugi::xml_document& AddXmlPart(const std::string& name, const std::string& contentType);
  void RemovePart(const std::string& name);

  // Relationships of a part (of the package for an empty source name).
  std::vector<Relationship> Relationships(const std::string& sourcePart);
  // The same list without a copy, for a lookup: valid until the next change
  // to the package's relationships.
  const std::vector<Relationship>& KnownRelationships(const std::string& sourcePart);
  // First relationship of that type ("…/relationships/slideLayout" or just
  // its last segment "slideLayout"), in the transitional or the strict
  // spelling; null when none.
  std::optional<Relationship> RelationshipByType(const std::string& sourcePart, const std::string& type);
  std::optional<Relationship> RelationshipById(const std::string& sourcePart, const std::string& id);
  // Adds a relationship (the .rels part is created when missing); returns its id.
  std::string AddRelationship(const std::string& sourcePart, const std::string& type,
                              const std::string& targetPart);
  // A relationship to a target outside the package (a link's address),
  // written as given: one of the same type and target is reused, else one
  // is added. Returns its id.
  std::string AddExternalRelationship(const std::string& sourcePart, const std::string& type,
                                      const std::string& target);
  // "ppt/slides/slide1.xml" + "../slideLayouts/slideLayout2.xml" -> "ppt/slideLayouts/slideLayout2.xml";
  // empty when the target leaves the package.
  static std::string ResolveTarget(const std::string& sourcePart, const std::string& target);
  // "ppt/slides/slide1.xml" -> "ppt/slides/_rels/slide1.xml.rels"
  static std::string RelsPartName(const std::string& sourcePart);
  // Target to write into sourcePart's .rels for targetPart (relative path).
  static std::string RelativeTarget(const std::string& sourcePart, const std::string& targetPart);

  // Writes the package to a temporary file beside `to` and renames it into
  // place; on failure `to` is untouched and PackageError is thrown.
  // Parts named in `replaced` are written with those bytes instead (a copy
  // in another format changes its content types without touching this package).
  void Save(const std::filesystem::path& to, const std::map<std::string, std::string>& replaced = {});

  // True when any part was changed since opening or the last ResetModified
  // (saving a copy leaves it as it is).
  bool Modified() const;
  void ResetModified();
  // Counts every change made through the package (a part marked dirty,
  // added, replaced or removed). What is worked out from the parts holds
  // while the count stays.
  std::uint64_t Edits() const;
  // Counts the changes made through the package to one part; it never goes
  // back, also when the part is removed and added again.
  std::uint64_t PartVersion(const std::string& name) const;
  // Counts the changes to which parts there are and how they link: parts
  // added, replaced or removed, relationship parts changed. What is worked
  // out from the links alone holds while the count stays.
  std::uint64_t LinkEdits() const;

 private:
  Package();
  std::string AppendRelationship(const std::string& sourcePart, const std::string& type, const std::string& target,
                                 bool external);
  struct Entry;
  struct Impl;
  std::unique_ptr<Impl> mImpl;
  std::filesystem::path mFile;
};

}  // namespace host::pptx
