#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <array>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>

#include "src/host/pptx/PptxApplication.h"
#include "src/host/pptx/PptxPackage.h"
#include "src/host/pptx/TextBody.h"
#include "src/platform/Strings.h"
#include "tests/common/Bytes.h"
#include "tests/common/Errors.h"
#include "tests/common/FaultyFiles.h"
#include "tests/host/DeckBuilder.h"
#include "tests/host/Walk.h"

using namespace host;
using host::pptx::Package;
using host::pptx::PackageError;
using host::pptx::PackageLimits;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

decktest::Deck TwoSlides() {
  decktest::Deck d;
  d.slides = {decktest::Sp(2, "Box", 0, 0, 127000, 127000, "Hello"), decktest::Sp(2, "Other", 0, 0, 1, 1, "World")};
  return d;
}

std::string Message(const PackageError& e) { return platform::ToUtf8(e.Description()); }

// Writes the two-slide deck to dir/name and opens it.
std::unique_ptr<Package> OpenTwoSlides(const testsupport::TempDir& dir, const char* name = "in.pptx") {
  decktest::Write(TwoSlides(), dir / name);
  return Package::Open(dir / name);
}

// The message of the PackageError that f throws; a failure if it throws none.
std::string Refusal(const std::function<void()>& f) {
  try {
    f();
  } catch (const PackageError& e) {
    return Message(e);
  }
  ADD_FAILURE() << "no PackageError";
  return {};
}

// Bytes that do not shrink when deflated.
std::string Noise(std::size_t size) {
  std::string noise(size, '\0');
  std::uint32_t x = 2463534242u;
  for (char& c : noise) c = static_cast<char>((x ^= x << 13, x ^= x >> 17, x ^= x << 5) >> 24);
  return noise;
}

// The stored bytes and checksum of an archive's entry, as they lie in the file.
std::pair<std::string, std::uint32_t> StoredEntry(const std::filesystem::path& file, const char* name) {
  int err = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_RDONLY, &err);
  zip_stat_t st;
  zip_stat(z, name, 0, &st);
  std::string data(st.comp_size, '\0');
  zip_file_t* f = zip_fopen(z, name, ZIP_FL_COMPRESSED);
  zip_fread(f, data.data(), data.size());
  zip_fclose(f);
  zip_discard(z);
  return {data, st.crc};
}

}  // namespace

// Changed parts are serialised while the archive is written, in slices:
// what lands in the file is the part's serialisation exactly, for a part of
// several slices and for one in UTF-16 with its byte-order mark. A part of
// a megabyte or more is deflated as it is serialised, into the very bytes
// libzip writes for the same text.
TEST(PptxPackage, ChangedPartsAreWrittenWholeInTheirOwnEncoding) {
  testsupport::TempDir dir;
  decktest::Deck d = TwoSlides();
  d.slides[0] += decktest::Sp(3, "Blank", 0, 0, 1, 1, " ");
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r><t>x</t></r>")) utf16 += {c, '\0'};
  d.parts["custom/item.xml"] = {"", utf16};
  // An entry that does not shrink when deflated and outgrows what a save
  // keeps in memory before writing it out (8 MB): copied as it was.
  d.parts["ppt/media/noise.bin"] = {"", Noise(9 << 20)};
  decktest::Write(d, dir / "in.pptx");
  auto pkg = Package::Open(dir / "in.pptx");
  pkg->Xml("ppt/slides/slide2.xml");  // parsed but not changed
  std::string big;
  for (int i = 0; i < 300000; ++i) big += "word " + std::to_string(i) + " ";
  pkg->Xml("ppt/slides/slide1.xml").select_node("//a:t").node().text().set(big.c_str());
  pkg->Xml("custom/item.xml").document_element().child("t").text().set("changed");
  const std::set<std::string> changed{"ppt/slides/slide1.xml", "custom/item.xml"};
  for (const std::string& part : changed) pkg->MarkDirty(part);
  pkg->Save(dir / "out.pptx");
  // Every entry in its place: a changed part as serialised, the others as they were.
  auto before = decktest::ReadEntries(dir / "in.pptx"), out = decktest::ReadEntries(dir / "out.pptx");
  for (auto& [name, bytes] : before)
    if (changed.count(name)) bytes = pkg->Bytes(name);
  EXPECT_TRUE(out == before) << "an entry moved or differs from what was serialised";
  const std::string slide = pkg->Bytes("ppt/slides/slide1.xml");
  // Large or small, a changed part lies in the file as libzip would deflate it.
  zip_t* ref = zip_open((dir / "ref.zip").c_str(), ZIP_CREATE, nullptr);
  for (const std::string& part : changed) {
    const std::string& text = pkg->Bytes(part);
    zip_int64_t i = zip_file_add(ref, part.c_str(), zip_source_buffer(ref, text.data(), text.size(), 0), 0);
    zip_set_file_compression(ref, static_cast<zip_uint64_t>(i), ZIP_CM_DEFLATE, 3);
  }
  zip_close(ref);
  for (const std::string& part : changed)
    EXPECT_TRUE(StoredEntry(dir / "out.pptx", part.c_str()) == StoredEntry(dir / "ref.zip", part.c_str())) << part;
  // The declaration, whitespace-only text and a UTF-16 byte-order mark survive the rewrite.
  EXPECT_EQ((std::vector<bool>{slide.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"),
                               slide.find("<a:t> </a:t>") != std::string::npos, slide.size() > big.size(),
                               pkg->Bytes("custom/item.xml").substr(0, 6) == std::string("\xFF\xFE<\0?\0", 6)}),
            std::vector<bool>(4, true));
}

// Edits of children meet the text between them where it stands, in an
// indented part as in a compact one, and a run's text is rewritten in place:
// what is written is what the edit made of the part, byte for byte.
TEST(PptxPackage, EditsOfChildrenAndOfRunTextKeepTheTextAroundThem) {
  struct Row {
    std::string xml;
    std::function<void(pugi::xml_node root)> edit;
    std::string expected;
  };
  // Splits a run read from the part, then one the edits added.
  auto replace = [](pugi::xml_node r) {
    host::pptx::TextBody body(r);
    body.Replace({1, 1}, L"X"), body.Replace({3, 0}, L" more"), body.Replace({5, 1}, L"Y");
  };
  const std::vector<Row> rows = {
      {"<r>x<a/>y</r>", [](pugi::xml_node r) { r.prepend_child("b"); }, "<r><b/>x<a/>y</r>"},
      {"<r>\n</r>", [](pugi::xml_node r) { r.insert_child_before("b", r.first_child()); }, "<r><b/>\n</r>"},
      {"<r>\n  <a/>\n</r>", [](pugi::xml_node r) { r.remove_children(), r.append_child("b"); }, "<r><b/></r>"},
      {"<p:txBody xmlns:a=\"a\"><a:p><a:r><a:t>old</a:t></a:r></a:p></p:txBody>",
       replace,
       "<p:txBody xmlns:a=\"a\"><a:p><a:r><a:t>o</a:t></a:r><a:r><a:t>X</a:t></a:r><a:r><a:t>d</a:t></a:r><a:r><a:t> "
       "m</a:t></a:r><a:r><a:t>Y</a:t></a:r><a:r><a:t>re</a:t></a:r></a:p></p:txBody>"},
  };
  for (const Row& row : rows) {
    testsupport::TempDir dir;
    decktest::Deck d = TwoSlides();
    d.parts["custom/item.xml"] = {"", row.xml};
    decktest::Write(d, dir / "in.pptx");
    auto pkg = Package::Open(dir / "in.pptx");
    row.edit(pkg->Xml("custom/item.xml").document_element());
    pkg->MarkDirty("custom/item.xml");
    EXPECT_EQ(pkg->Bytes("custom/item.xml"), row.expected) << row.xml;
  }
}

// Kept links (a slide's layout, a layout's master) stand until a
// relationship part changes; parts are found whatever the case of the name.
TEST(PptxPackage, OnlyEditsOfRelationshipPartsCountAsLinkEdits) {
  testsupport::TempDir dir;
  auto pkg = OpenTwoSlides(dir);
  for (auto [part, link] : std::vector<std::pair<std::string, bool>>{{"ppt/slides/_rels/slide1.xml.rels", true},
                                                                     {"PPT/Slides/_rels/Slide1.XML.RELS", true},
                                                                     {"ppt/slides/slide1.xml", false},
                                                                     {"ppt/presentation.xml", false}}) {
    const std::uint64_t links = pkg->LinkEdits(), version = pkg->PartVersion(part);
    pkg->MarkDirty(part);
    EXPECT_EQ(pkg->LinkEdits() != links, link) << part;
    EXPECT_GT(pkg->PartVersion(part), version) << part;
  }
}

TEST(PptxPackage, RelationshipsResolveNeverLeaveThePackageAndAreRegisteredWhenAdded) {
  for (auto [source, target, part] : std::vector<std::array<std::string, 3>>{
           {"ppt/slides/slide1.xml", "../slideLayouts/slideLayout2.xml", "ppt/slideLayouts/slideLayout2.xml"},
           {"ppt/presentation.xml", "/ppt/slides/slide1.xml", "ppt/slides/slide1.xml"},
           {"ppt/slides/slide1.xml", "../../../etc/passwd", ""},
           {"ppt/slides/slide1.xml", "#_ftn1", ""},
           {"ppt/slides/slide1.xml", "../media/image%201.png", "ppt/media/image 1.png"},
           {"ppt/slides/slide1.xml", "./a/.//b%4a%4B%2%zz#x", "ppt/slides/a/bJK%2%zz"},
           {"slide1.xml", "../x.xml", ""},
           {"ppt/slides/slide1.xml", "..\\x.xml", ""},
           {"ppt/slides/slide1.xml", "c:/x.xml", ""},
           {"/ppt/slide1.xml", "x.xml", "ppt/x.xml"}})
    EXPECT_EQ(Package::ResolveTarget(source, target), part) << target;
  EXPECT_EQ(Package::RelsPartName("ppt/slides/slide1.xml"), "ppt/slides/_rels/slide1.xml.rels");
  EXPECT_EQ(Package::RelativeTarget("ppt/slides/slide1.xml", "ppt/comments/comment1.xml"), "../comments/comment1.xml");
  EXPECT_EQ(Package::RelativeTarget("ppt/presentation.xml", "ppt/slides/slide2.xml"), "slides/slide2.xml");
  // Added parts and relationships are registered.
  testsupport::TempDir dir;
  auto pkg = OpenTwoSlides(dir);
  auto& d = pkg->AddXmlPart("ppt/comments/comment1.xml", "application/x-test+xml");
  d.append_child("root");
  std::string id = pkg->AddRelationship("ppt/slides/slide1.xml", "http://x/relationships/comments",
                                        "ppt/comments/comment1.xml");
  EXPECT_NE(id, "rIdLayout");
  pkg->Save(dir / "out.pptx");
  auto out = Package::Open(dir / "out.pptx");
  auto rel = out->RelationshipById("ppt/slides/slide1.xml", id).value_or(pptx::Relationship{});
  EXPECT_EQ(std::tuple(out->ContentType("ppt/comments/comment1.xml"), rel.targetPart, out->PartNames().back()),
            std::tuple("application/x-test+xml", "ppt/comments/comment1.xml", "ppt/comments/comment1.xml"));
}

// A save over the source replaces it whole or not at all, and leaves no
// temporary file behind either way.
TEST(PptxPackage, ASaveReplacesTheDeckWholeOrLeavesItAsItWas) {
  testsupport::TempDir dir;
  auto pkg = OpenTwoSlides(dir);
  EXPECT_THROW(pkg->Save(dir / "missing" / "out.pptx"), PackageError);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
  const std::string before = testsupport::ReadBytes(dir / "in.pptx");
  pkg->Xml("ppt/slides/slide2.xml").select_node("//a:t").node().text().set("Again");
  pkg->MarkDirty("ppt/slides/slide2.xml");
  auto files = [&] {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
    return names;
  };
  {
    testsupport::FaultyFiles faulty(testsupport::FaultyFiles::kWrite);
    EXPECT_THAT(Refusal([&] { pkg->Save(dir / "in.pptx"); }), HasSubstr("cannot be replaced"));
    EXPECT_EQ(faulty.Failures(), 1);
  }
  EXPECT_EQ(std::tuple(testsupport::ReadBytes(dir / "in.pptx") == before, files()), std::tuple(true, std::vector<std::string>{"in.pptx"}));
  // The package is still usable, and a second save after the source file
  // was replaced still copies the untouched parts correctly.
  pkg->Save(dir / "in.pptx");
  pkg->Save(dir / "in.pptx");
  auto reread = Package::Open(dir / "in.pptx");
  EXPECT_EQ(std::tuple(reread->Bytes("ppt/slides/slide2.xml").find("Again") != std::string::npos,
                       reread->Bytes("ppt/slides/slide1.xml").find("Hello") != std::string::npos, files()),
            std::tuple(true, true, std::vector<std::string>{"in.pptx"}));
}

// A save the file system cuts short while parts are made ahead of the
// writer says so and leaves no file behind; the package saves once it can.
TEST(PptxPackage, ASaveCutShortLeavesNothingBehind) {
  testsupport::TempDir dir;
  decktest::Deck d = TwoSlides();
  d.parts["ppt/media/noise.bin"] = {"", Noise(9 << 20)};  // more than a save keeps before writing
  std::vector<std::string> changed;
  for (char c : std::string("abcd")) d.parts[changed.emplace_back(std::string("ppt/z/") + c + ".xml")] = {"", "<r/>"};
  decktest::Write(d, dir / "in.pptx");
  auto pkg = Package::Open(dir / "in.pptx");
  for (const std::string& part : changed) {
    pkg->Xml(part).document_element().text().set("changed");
    pkg->MarkDirty(part);
  }
  struct rlimit was {};
  ::getrlimit(RLIMIT_FSIZE, &was);
  const struct rlimit cut {1 << 20, was.rlim_max};
  ::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &cut);
  const std::string why = Refusal([&] { pkg->Save(dir / "out.pptx"); });
  ::setrlimit(RLIMIT_FSIZE, &was);
  EXPECT_THAT(why, HasSubstr("cannot be written"));
  EXPECT_FALSE(fs::exists(dir / "out.pptx"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  pkg->Save(dir / "out.pptx");
  EXPECT_EQ(Package::Open(dir / "out.pptx")->Bytes("ppt/z/d.xml"), "<r>changed</r>");
}

class PptxBadInput : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  // Opening fails with a message naming the file and the fault, and the file is not touched.
  std::string OpenFails(const std::filesystem::path& file, const PackageLimits& limits = {}) {
    std::string before = testsupport::ReadBytes(file);
    pptx::ApplicationOptions options;
    options.limits = limits;
    try {
      host::pptx::CreateApplication(options)->Presentations()->Open(platform::FromUtf8(file.string()), false, false, true);
    } catch (const PackageError& e) {
      EXPECT_EQ(testsupport::ReadBytes(file), before);
      EXPECT_THAT(Message(e), HasSubstr(file.filename().string()));
      return Message(e);
    }
    ADD_FAILURE() << "opened " << file;
    return {};
  }
};

// A file that is no package, a damaged one, one that is not a presentation
// or lacks a slide it lists, names that leave the package or differ only in
// case, and entries past the limits.
TEST_F(PptxBadInput, APackageWeCannotOpenIsRefusedByNameAndLeftAsItWas) {
  decktest::Write(TwoSlides(), dir / "ok.pptx");
  const decktest::Entries ok = decktest::ReadEntries(dir / "ok.pptx");
  const std::string good = testsupport::ReadBytes(dir / "ok.pptx");
  std::string flipped = good;
  // Bytes flipped inside the compressed data of an early entry.
  for (std::size_t i = 200; i < 260 && i < flipped.size(); ++i) flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
  auto plus = [&](const decktest::Entries& more) {
    decktest::Entries e = ok;
    e.insert(e.end(), more.begin(), more.end());
    return e;
  };
  decktest::Entries word = ok, noSlide = ok;
  std::string& types = word.front().second;
  types.replace(types.find("presentationml.presentation"), 27, "wordprocessingml.document");
  std::erase_if(noSlide, [](auto& e) { return e.first == "ppt/slides/slide2.xml"; });
  const decktest::Entries big = plus({{"ppt/media/big.bin", std::string(3u << 20, 'A')}});
  // A name longer than any part's is refused with the others; 3 MiB of one
  // letter compresses several hundred times: a bomb by ratio.
  const struct {
    const char* file;
    decktest::Entries entries;
    std::string bytes;  // the file's bytes when there are no entries
    const char* want;
    PackageLimits limits = {};
  } cases[] = {{"cut.pptx", {}, good.substr(0, good.size() / 2), "damaged or truncated"},
               {"bad.pptx", {}, flipped, ""},
               {"text.pptx", {}, "just some text, not a package", "not a zip"},
               {"ole.pptx", {}, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + std::string(600, '\0'), "password-protected or old binary"},
               {"plain.pptx", {{"hello.txt", "hi"}}, "", "[Content_Types].xml"},
               {"word.pptx", word, "", "is not a presentation"},
               {"noslide.pptx", noSlide, "", "slide 2"},
               {"up.pptx", plus({{"../evil.xml", "<x/>"}}), "", "leaves the package"},
               {"root.pptx", plus({{"/etc/evil.xml", "<x/>"}}), "", "leaves the package"},
               {"long.pptx", plus({{"ppt/" + std::string(1021, 'a'), "<x/>"}}), "", "leaves the package"},
               {"case.pptx", plus({{"ppt/media/AZ.bin", ""}, {"ppt/media/az.bin", ""}}), "", "two entries named"},
               {"big.pptx", big, "", "larger than the limit", {.maxEntrySize = (3u << 20) - 1}},
               {"bomb.pptx", big, "", "zip bomb", {.maxRatio = 100}},
               {"many.pptx", ok, "", "entries", {.maxEntries = 5}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    if (c.entries.empty())
      std::ofstream(dir / c.file, std::ios::binary) << c.bytes;
    else
      decktest::WriteEntries(dir / c.file, c.entries);
    EXPECT_THAT(OpenFails(dir / c.file, c.limits), HasSubstr(c.want));
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path().parent_path() / "evil.xml"));
  EXPECT_EQ(testsupport::ErrorOf([&] {
              pptx::CreateApplication()->Presentations()->Open(platform::FromUtf8((dir / "absent.pptx").string()), false, false, true);
            }),
            STG_E_FILENOTFOUND);
}

// A slide that is not XML the host reads (an entity bomb, half a part, or
// nesting too deep) fails when first read, naming the part and the fault,
// without expanding anything; the other slide still reads.
// A part whose directory entry lies about it, in both the local and the
// central header, or whose compressed data is garbled, fails when read, by
// name; the other slide still reads.
TEST_F(PptxBadInput, APartThatIsNotWhatItsDirectorySaysFailsByName) {
  const std::string part = "ppt/slides/slide1.xml";
  // Adds delta to a 32-bit field of the part's local (at) and central
  // (at + 2) header; a negative field garbles its compressed data instead.
  auto lie = [&](int at, int delta) {
    std::string zip = testsupport::ReadBytes(dir / "ok.pptx");
    for (std::size_t pos = zip.find(part); pos != std::string::npos; pos = zip.find(part, pos + 1)) {
      const bool local = pos >= 30 && zip.compare(pos - 30, 4, "PK\x03\x04") == 0;
      const bool central = pos >= 46 && zip.compare(pos - 46, 4, "PK\x01\x02") == 0;
      if (!local && !central) continue;
      if (at < 0) {
        if (local) zip[pos + part.size() + 20] ^= 0x5A;
        continue;
      }
      const std::size_t field = pos - (local ? 30 : 46) + static_cast<std::size_t>(at) + (local ? 0 : 2);
      std::uint32_t v = 0;
      std::memcpy(&v, zip.data() + field, 4);
      v += static_cast<std::uint32_t>(delta);
      std::memcpy(zip.data() + field, &v, 4);
    }
    std::ofstream(dir / "lie.pptx", std::ios::binary) << zip;
  };
  const struct {
    int at, delta;
    const char* want;
  } cases[] = {{14, 1, "checksum"}, {22, -1, "more data"}, {22, 1, "checksum"}, {-1, 0, "damaged"}};
  decktest::Write(TwoSlides(), dir / "ok.pptx");
  auto app = host::pptx::CreateApplication();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.at);
    lie(c.at, c.delta);
    auto p = app->Presentations()->Open(platform::FromUtf8((dir / "lie.pptx").string()), false, false, false);
    EXPECT_THAT(Refusal([&] { p->Slides()->Item(1)->Shapes()->Count(); }),
                ::testing::AllOf(HasSubstr(c.want), HasSubstr(part)));
    EXPECT_EQ(p->Slides()->Item(2)->Shapes()->Count(), 1);
    p->Close();
  }
}

TEST_F(PptxBadInput, ASlideThatIsNotXmlWeReadFailsByName) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<p:grpSp>";
  for (int i = 0; i < 5000; ++i) deep += "</p:grpSp>";
  const std::string bomb =
      "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">"
      "<!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
      "<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">]>";
  const struct {
    int slide;
    std::function<void(std::string&)> edit;
    const char* want;
  } cases[] = {{1, [&](std::string& x) { x = bomb + x.substr(x.find("<p:sld")); }, "declares a DTD"},
               {2, [](std::string& x) { x = x.substr(0, x.size() / 2); }, "not well-formed"},
               {1, [&](std::string& x) { x.insert(x.find("</p:spTree>"), deep); }, "levels deep"}};
  auto app = host::pptx::CreateApplication();
  decktest::Write(TwoSlides(), dir / "ok.pptx");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    const std::string part = "ppt/slides/slide" + std::to_string(c.slide) + ".xml";
    decktest::CopyEditing(dir / "ok.pptx", dir / "bad.pptx", part, c.edit);
    auto p = app->Presentations()->Open(platform::FromUtf8((dir / "bad.pptx").string()), false, false, false);
    std::string m = Refusal([&] { p->Slides()->Item(c.slide)->Shapes()->Count(); });
    EXPECT_THAT(m, ::testing::AllOf(HasSubstr(c.want), HasSubstr(part)));
    EXPECT_EQ(p->Slides()->Item(3 - c.slide)->Shapes()->Count(), 1);
    p->Close();
  }
}

// Every real deck of the shared corpus, walked once: it opens (or fails
// clearly where the manifest says it is damaged), an unchanged save keeps
// every part byte for byte, and every text body of its slides reads
// consistently and takes an edit of each of its runs. A sample of decks
// edited on their notes pages too reads back the same and still opens in
// LibreOffice (when it is installed).
namespace {

// Each deck's file name, and whether the manifest says it cannot be read.
std::vector<std::pair<std::string, bool>> Manifest() {
  std::vector<std::pair<std::string, bool>> out;
  std::ifstream in(testsupport::CorpusDir() / "MANIFEST.tsv");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    if (line.find('\t') == std::string::npos) continue;
    std::string note = line.substr(line.rfind('\t') + 1);
    out.push_back({line.substr(0, line.find('\t')), note.starts_with("CORRUPT") || note.starts_with("PASSWORD-PROTECTED")});
  }
  return out;
}

// Every text holder of the slides, and of their notes pages if asked, in order.
void ForEachText(const Ptr<Presentation>& p, const std::function<void(const Ptr<Shape>&)>& f, bool notes = false) {
  for (int i = 1; i <= p->Slides()->Count(); ++i) {
    auto slide = p->Slides()->Item(i);
    for (auto shapes : {slide->Shapes(), notes ? slide->NotesPage()->Shapes() : nullptr})
      if (shapes) walktest::ForEachShape(shapes, [&](const Ptr<Shape>& s, int) { if (s->HasTextFrame()) f(s); });
  }
}

// Replaces every run of a body by a longer text of its own as a translation
// does, last run first so the earlier positions stay put; the text the body
// reads afterwards.
std::wstring EditRuns(const Ptr<Shape>& shape) {
  auto range = shape->TextFrame2()->TextRange();
  std::wstring text = range->Text();
  EXPECT_TRUE(std::isfinite(range->BoundHeight()) && range->BoundHeight() >= 0);
  auto runs = range->Runs(-1, -1);
  const int count = runs->Count();
  std::vector<std::pair<int, int>> spans;
  for (int i = 1; i <= count; ++i) spans.push_back({runs->Item(i)->Start(), runs->Item(i)->Length()});
  int added = 0;  // characters the edits added, which the runs read afterwards must hold
  for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
    // Paragraph marks and breaks stay; only the characters between change.
    std::wstring old = text.substr(it->first - 1, it->second);
    while (!old.empty() && (old.back() == L'\r' || old.back() == L'\v')) old.pop_back();
    if (old.empty()) continue;
    shape->TextFrame2()->TextRange()->Characters(it->first, static_cast<int>(old.size()))->SetText(L"[" + old + L"]");
    text.replace(it->first - 1, old.size(), L"[" + old + L"]");
    added += 2;
  }
  auto after = shape->TextFrame()->TextRange();
  const int now = after->Runs(-1, -1)->Count();
  for (int i = 1; i <= std::min(count, now); ++i) added -= after->Runs(i, 1)->Length() - spans[i - 1].second;
  // A formatting boundary moved if the count differs, the runs were not read
  // again after the edits if the characters they hold do.
  EXPECT_EQ(std::tuple(after->Text(), now, added), std::tuple(text, count, 0));
  return text;
}

// Edits every run of an open deck; the texts it reads afterwards.
std::vector<std::wstring> EditAll(const Ptr<Presentation>& p, bool notes = false) {
  std::vector<std::wstring> texts;
  ForEachText(p, [&](const Ptr<Shape>& s) { texts.push_back(EditRuns(s)); }, notes);
  return texts;
}

// Edits every run of an open deck, saves it as out and reads it back: the
// same texts in the same places.
void EditAndReopen(Application& app, const Ptr<Presentation>& p, const fs::path& out) {
  std::vector<std::wstring> texts = EditAll(p, true), read;
  p->SaveCopyAs(platform::FromUtf8(out.string()), ppSaveAsDefault, false);
  p->Close();
  auto again = app.Presentations()->Open(platform::FromUtf8(out.string()), true, false, false);
  ForEachText(again, [&](const Ptr<Shape>& s) { read.push_back(s->TextFrame2()->TextRange()->Text()); }, true);
  again->Close();
  EXPECT_EQ(read, texts);
}

class PptxCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(testsupport::CorpusDir() / "MANIFEST.tsv")) GTEST_SKIP() << "no corpus at " << testsupport::CorpusDir();
  }
  testsupport::TempDir dir;
  Ptr<Application> app = pptx::CreateApplication();
};

}  // namespace

TEST_F(PptxCorpus, EveryDeckOpensSavesUnchangedAndTakesEditsOfEveryRun) {
  auto decks = Manifest();
  ASSERT_GT(decks.size(), 40u);
  int bodies = 0;
  for (auto& [file, damaged] : decks) {
    SCOPED_TRACE(file);
    auto src = testsupport::CorpusDir() / file, same = dir / ("same-" + file);
    try {
      auto p = app->Presentations()->Open(platform::FromUtf8(src.string()), false, false, false);
      EXPECT_FALSE(damaged) << "a damaged deck opened";
      // Reading the whole model must not change anything.
      ForEachText(p, [](const Ptr<Shape>& s) { s->TextFrame()->TextRange()->Text(); });
      p->SaveCopyAs(platform::FromUtf8(same.string()), ppSaveAsDefault, false);
      EXPECT_EQ(decktest::ReadEntries(src), decktest::ReadEntries(same));
      // What the edited deck reads after saving is the LibreOffice sample's
      // and the corpus translation's (tests/e2e) to check.
      bodies += static_cast<int>(EditAll(p).size());
      p->Close();
    } catch (const pptx::PackageError& e) {
      std::string m = platform::ToUtf8(e.Description());
      EXPECT_TRUE(damaged) << m;
      EXPECT_NE(m.find(file), std::string::npos) << m;
    }
  }
  EXPECT_GT(bodies, 1000);
}

TEST_F(PptxCorpus, ReplacedTextStillOpensInLibreOffice) {
  std::vector<std::string> written;
  // Every eighth deck that opens, but for decks of more than a megabyte:
  // LibreOffice takes longest over those, and the richest deck of the
  // sample (SmartArt, tables, notes, links) is smaller.
  int readable = 0;
  for (auto& [file, damaged] : Manifest()) {
    auto src = testsupport::CorpusDir() / file;
    if (damaged || readable++ % 8 != 0 || fs::file_size(src) > (1u << 20)) continue;
    SCOPED_TRACE(file);
    // Keep the extension: LibreOffice picks its filter from it.
    auto out = dir / ("x-" + file);
    EditAndReopen(*app, app->Presentations()->Open(platform::FromUtf8(src.string()), false, false, false), out);
    written.push_back(out.string());
  }
  EXPECT_GE(written.size(), 6u);
  if (std::system("command -v libreoffice >/dev/null 2>&1") != 0) GTEST_SKIP() << "libreoffice is not installed";
  // LibreOffice with a private profile converts the given quoted files to PDF in outdir.
  auto convert = [&](const char* timeout, const std::string& outdir, const std::string& files, const char* log) {
    std::string c = "cd '" + dir.path().string() + "' && timeout " + timeout + " libreoffice -env:UserInstallation=file://" +
                    dir.path().string() + "/lo-profile --headless --convert-to pdf --outdir " + outdir + files + log;
    return std::system(c.c_str());
  };
  std::string files;
  for (auto& w : written) files += " '" + w + "'";
  EXPECT_EQ(convert("1200", "pdf", files, " >lo.log 2>&1"), 0) << "libreoffice failed";
  // A deck LibreOffice cannot render even as it came from the corpus says
  // nothing about our edits; only the others must convert. The originals of
  // the failed ones go through one more LibreOffice run together.
  auto converted = [&](const fs::path& pdf) { return fs::exists(pdf) && fs::file_size(pdf) > 500; };
  std::vector<std::string> failed;
  std::string originals;
  for (auto& w : written) {
    auto stem = fs::path(w).stem().string();
    if (converted(dir / "pdf" / (stem + ".pdf"))) continue;
    failed.push_back(stem.substr(2));
    originals += " '" + (testsupport::CorpusDir() / (failed.back() + fs::path(w).extension().string())).string() + "'";
  }
  if (failed.empty()) return;
  convert("600", "orig", originals, " >>lo.log 2>&1");
  for (auto& stem : failed) {
    if (converted(dir / "orig" / (stem + ".pdf")))
      ADD_FAILURE() << "LibreOffice renders " << stem << " but not our edited copy";
    else
      std::cout << "note: LibreOffice cannot render " << stem << " either\n";
  }
}

// Copies saved and opened again share only what was read of their source's
// parts, never a tree: an edit to one copy shows in no other, each reads the
// part exactly as saved (an entity intact, so no copy gets bytes another
// parsed in place), and a file replaced on disk since its save is read anew.
TEST(PptxPackage, CopiesOpenedAgainStayApartAndFollowTheDisk) {
  testsupport::TempDir dir;
  decktest::Deck deck = TwoSlides();
  deck.slides[0] = decktest::Sp(2, "Box", 0, 0, 1, 1, "Salt &amp; pepper");
  decktest::Write(deck, dir / "in.pptx");
  auto src = Package::Open(dir / "in.pptx");
  const std::string slide1 = "ppt/slides/slide1.xml", slide2 = "ppt/slides/slide2.xml";
  const std::string saved = src->Bytes(slide1);
  src->Save(dir / "a.pptx");
  src->Save(dir / "b.pptx");
  auto a = Package::Open(dir / "a.pptx"), b = Package::Open(dir / "b.pptx"), a2 = Package::Open(dir / "a.pptx");
  auto text = [&](Package& p) { return std::string(p.Xml(slide1).select_node("//a:t").node().text().get()); };
  EXPECT_EQ(text(*a), "Salt & pepper");
  a->Xml(slide1).select_node("//a:t").node().text().set("Changed");
  a->MarkDirty(slide1);
  for (Package* p : {b.get(), a2.get(), src.get()}) {
    EXPECT_EQ(text(*p), "Salt & pepper");
    EXPECT_EQ(p->Bytes(slide1), saved);
  }
  // b.pptx replaced on disk by a deck whose slide 2 has the same length.
  decktest::CopyEditing(dir / "b.pptx", dir / "new.pptx", slide2, [](std::string& x) { x.replace(x.find("World"), 5, "Earth"); });
  std::filesystem::rename(dir / "new.pptx", dir / "b.pptx");
  auto fresh = Package::Open(dir / "b.pptx");
  EXPECT_NE(b->Bytes(slide2).find("World"), std::string::npos);
  EXPECT_NE(fresh->Bytes(slide2).find("Earth"), std::string::npos);
}

// A package saved again with nothing changed is written as a copy of the
// file it saved last; every kind of change since must write it anew.
TEST(PptxPackage, ASecondSaveShowsEveryChangeSinceTheFirst) {
  const std::string slide1 = "ppt/slides/slide1.xml", slide2 = "ppt/slides/slide2.xml", types = "[Content_Types].xml";
  using Replaced = std::map<std::string, std::string>;
  struct Row {
    const char* change;
    std::function<Replaced(Package&, const fs::path& first)> apply;
    std::function<bool(Package& second)> shows;
  };
  const std::vector<Row> rows = {
      {"a part edited",
       [&](Package& p, const fs::path&) {
         p.Xml(slide1).select_node("//a:t").node().text().set("Changed");
         p.MarkDirty(slide1);
         return Replaced{};
       },
       [&](Package& s) { return s.Bytes(slide1).find("Changed") != std::string::npos; }},
      {"a part set", [&](Package& p, const fs::path&) { p.SetPart("ppt/extra.bin", "xyz"); return Replaced{}; },
       [&](Package& s) { return s.HasPart("ppt/extra.bin"); }},
      {"a part removed", [&](Package& p, const fs::path&) { p.RemovePart(slide2); return Replaced{}; },
       [&](Package& s) { return !s.HasPart(slide2); }},
      {"other replaced parts", [&](Package& p, const fs::path&) { return Replaced{{types, p.Bytes(types) + " "}}; },
       [&](Package& s) { return s.Bytes(types).back() == ' '; }},
      {"the first file changed on disk",
       [&](Package&, const fs::path& first) {
         decktest::CopyEditing(first, first, slide1, [](std::string& x) { x.replace(x.find("Hello"), 5, "Jello"); });
         return Replaced{};
       },
       [&](Package& s) { return s.Bytes(slide1).find("Hello") != std::string::npos; }},
  };
  for (const Row& row : rows) {
    testsupport::TempDir dir;
    auto p = OpenTwoSlides(dir);
    p->Save(dir / "first.pptx");
    p->Save(dir / "second.pptx", row.apply(*p, dir / "first.pptx"));
    EXPECT_TRUE(row.shows(*Package::Open(dir / "second.pptx"))) << row.change;
  }
}
