#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "tests/host/DeckBuilder.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/host/pptx/PptxPackage.h"
#include "src/platform/Strings.h"
#include "tests/common/Errors.h"
#include "tests/common/Bytes.h"
#include "tests/common/FaultyFiles.h"

using host::pptx::Package;
using host::pptx::PackageError;
using host::pptx::PackageLimits;
using ::testing::HasSubstr;

namespace {

decktest::Deck TwoSlides() {
  decktest::Deck d;
  d.slides = {decktest::Sp(2, "Box", 0, 0, 127000, 127000, "Hello"), decktest::Sp(2, "Other", 0, 0, 1, 1, "World")};
  return d;
}

std::string Message(const PackageError& e) { return platform::ToUtf8(e.Description()); }

// Writes a zip whose single extra entry has the given name and data.
void ZipWith(const std::filesystem::path& file, const std::vector<std::pair<std::string, std::string>>& entries) {
  std::vector<std::string> keep;
  keep.reserve(entries.size());
  int err = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  for (auto& [n, d] : entries) decktest::AddEntry(z, n, d, keep);
  zip_close(z);
}

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

}  // namespace

// Changed parts are serialised while the archive is written, in slices:
// what lands in the file is the part's serialisation exactly, for a part of
// several slices and for one in UTF-16 with its byte-order mark.
TEST(PptxPackage, ChangedPartsAreWrittenWholeInTheirOwnEncoding) {
  testsupport::TempDir dir;
  decktest::Deck d = TwoSlides();
  d.slides[0] += decktest::Sp(3, "Blank", 0, 0, 1, 1, " ");
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r><t>x</t></r>")) utf16 += {c, '\0'};
  d.parts["custom/item.xml"] = {"", utf16};
  // An entry that does not shrink when deflated and outgrows what a save
  // keeps in memory before writing it out (8 MB): copied as it was.
  std::string noise(9 << 20, '\0');
  std::uint32_t x = 2463534242u;
  for (char& c : noise) c = static_cast<char>((x ^= x << 13, x ^= x >> 17, x ^= x << 5) >> 24);
  d.parts["ppt/media/noise.bin"] = {"", noise};
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
  ASSERT_EQ(before.size(), out.size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(out[i].first, before[i].first);
    EXPECT_TRUE(out[i].second == (changed.count(out[i].first) ? pkg->Bytes(out[i].first) : before[i].second))
        << out[i].first;
  }
  // The declaration, whitespace-only text and a UTF-16 byte-order mark survive the rewrite.
  const std::string slide = pkg->Bytes("ppt/slides/slide1.xml");
  EXPECT_TRUE(slide.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"));
  EXPECT_NE(slide.find("<a:t> </a:t>"), std::string::npos);
  EXPECT_GT(slide.size(), big.size());
  EXPECT_EQ(pkg->Bytes("custom/item.xml").substr(0, 6), std::string("\xFF\xFE<\0?\0", 6));
}

TEST(PptxPackage, RelationshipsResolveAndNeverLeaveThePackage) {
  EXPECT_EQ(Package::ResolveTarget("ppt/slides/slide1.xml", "../slideLayouts/slideLayout2.xml"),
            "ppt/slideLayouts/slideLayout2.xml");
  EXPECT_EQ(Package::ResolveTarget("ppt/presentation.xml", "/ppt/slides/slide1.xml"), "ppt/slides/slide1.xml");
  EXPECT_EQ(Package::ResolveTarget("ppt/slides/slide1.xml", "../../../etc/passwd"), "");
  EXPECT_EQ(Package::ResolveTarget("ppt/slides/slide1.xml", "#_ftn1"), "");
  EXPECT_EQ(Package::ResolveTarget("ppt/slides/slide1.xml", "../media/image%201.png"), "ppt/media/image 1.png");
  EXPECT_EQ(Package::RelsPartName("ppt/slides/slide1.xml"), "ppt/slides/_rels/slide1.xml.rels");
  EXPECT_EQ(Package::RelativeTarget("ppt/slides/slide1.xml", "ppt/comments/comment1.xml"), "../comments/comment1.xml");
  EXPECT_EQ(Package::RelativeTarget("ppt/presentation.xml", "ppt/slides/slide2.xml"), "slides/slide2.xml");
}

TEST(PptxPackage, AddedPartsAndRelationshipsAreRegistered) {
  testsupport::TempDir dir;
  auto pkg = OpenTwoSlides(dir);
  auto& d = pkg->AddXmlPart("ppt/comments/comment1.xml", "application/x-test+xml");
  d.append_child("root");
  std::string id = pkg->AddRelationship("ppt/slides/slide1.xml", "http://x/relationships/comments",
                                        "ppt/comments/comment1.xml");
  EXPECT_NE(id, "rIdLayout");
  pkg->Save(dir / "out.pptx");
  auto out = Package::Open(dir / "out.pptx");
  EXPECT_EQ(out->ContentType("ppt/comments/comment1.xml"), "application/x-test+xml");
  auto rel = out->RelationshipById("ppt/slides/slide1.xml", id);
  ASSERT_TRUE(rel.has_value());
  EXPECT_EQ(rel->targetPart, "ppt/comments/comment1.xml");
  EXPECT_EQ(out->PartNames().back(), "ppt/comments/comment1.xml");
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
  EXPECT_EQ(testsupport::ReadBytes(dir / "in.pptx"), before);
  EXPECT_EQ(files(), std::vector<std::string>{"in.pptx"});
  // The package is still usable, and a second save after the source file
  // was replaced still copies the untouched parts correctly.
  pkg->Save(dir / "in.pptx");
  pkg->Save(dir / "in.pptx");
  auto reread = Package::Open(dir / "in.pptx");
  EXPECT_NE(reread->Bytes("ppt/slides/slide2.xml").find("Again"), std::string::npos);
  EXPECT_NE(reread->Bytes("ppt/slides/slide1.xml").find("Hello"), std::string::npos);
  EXPECT_EQ(files(), std::vector<std::string>{"in.pptx"});
}

class PptxBadInput : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  // Opening fails with a message naming the file and the fault, and the file is not touched.
  std::string OpenFails(const std::filesystem::path& file, const PackageLimits& limits = {}) {
    std::string before = testsupport::ReadBytes(file);
    try {
      auto app = host::pptx::CreateApplication();
      app->Presentations()->Open(platform::FromUtf8(file.string()), false, false, true);
    } catch (const PackageError& e) {
      EXPECT_EQ(testsupport::ReadBytes(file), before);
      std::string m = Message(e);
      EXPECT_THAT(m, HasSubstr(file.filename().string()));
      try {
        Package::Open(file, limits);
      } catch (const PackageError& e2) {
        return Message(e2);
      }
      return m;
    }
    ADD_FAILURE() << "opened " << file;
    return {};
  }
  // The entries of the two-slide deck, written to ok.pptx.
  std::vector<std::pair<std::string, std::string>> OkEntries() {
    decktest::Write(TwoSlides(), dir / "ok.pptx");
    return decktest::ReadEntries(dir / "ok.pptx");
  }
  // Writes name from the two-slide deck with one part's bytes changed by edit.
  std::filesystem::path WithPart(const char* name, const std::string& part, const std::function<void(std::string&)>& edit) {
    auto entries = OkEntries();
    for (auto& e : entries)
      if (e.first == part) edit(e.second);
    ZipWith(dir / name, entries);
    return dir / name;
  }
};

TEST_F(PptxBadInput, TruncatedCorruptOrNoZipAtAll) {
  decktest::Write(TwoSlides(), dir / "ok.pptx");
  const std::string good = testsupport::ReadBytes(dir / "ok.pptx");
  std::string flipped = good;
  // Bytes flipped inside the compressed data of an early entry.
  for (std::size_t i = 200; i < 260 && i < flipped.size(); ++i) flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
  const struct {
    const char* file;
    std::string bytes;
    const char* want;
  } cases[] = {{"cut.pptx", good.substr(0, good.size() / 2), "damaged or truncated"},
               {"bad.pptx", flipped, ""},
               {"text.pptx", "just some text, not a package", "not a zip"},
               {"ole.pptx", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + std::string(600, '\0'),
                "password-protected or old binary"}};
  for (const auto& c : cases) {
    std::ofstream(dir / c.file, std::ios::binary) << c.bytes;
    const std::string message = OpenFails(dir / c.file);
    EXPECT_FALSE(message.empty()) << c.file;
    EXPECT_THAT(message, HasSubstr(c.want));
  }
  auto app = host::pptx::CreateApplication();
  EXPECT_EQ(testsupport::ErrorOf([&] {
              app->Presentations()->Open(platform::FromUtf8((dir / "absent.pptx").string()), false, false, true);
            }),
            STG_E_FILENOTFOUND);
}

TEST_F(PptxBadInput, MissingPartsAndWrongContent) {
  ZipWith(dir / "plain.pptx", {{"hello.txt", "hi"}});
  EXPECT_THAT(OpenFails(dir / "plain.pptx"), HasSubstr("[Content_Types].xml"));

  decktest::Deck d = TwoSlides();
  d.mainContentType = "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
  decktest::Write(d, dir / "word.pptx");
  EXPECT_THAT(OpenFails(dir / "word.pptx"), HasSubstr("is not a presentation"));

  // A slide the presentation lists but the package lacks.
  auto entries = OkEntries();
  std::erase_if(entries, [](auto& e) { return e.first == "ppt/slides/slide2.xml"; });
  ZipWith(dir / "noslide.pptx", entries);
  EXPECT_THAT(OpenFails(dir / "noslide.pptx"), HasSubstr("slide 2"));
}

TEST_F(PptxBadInput, PathOutsideThePackageOrTwiceInIt) {
  auto entries = OkEntries();
  // A name longer than any part's is refused with the others; part names
  // differ in more than case.
  const struct {
    std::vector<std::string> names;
    const char* want;
  } cases[] = {{{"../evil.xml"}, "leaves the package"},
               {{"/etc/evil.xml"}, "leaves the package"},
               {{"ppt/" + std::string(1021, 'a')}, "leaves the package"},
               {{"ppt/media/AZ.bin", "ppt/media/az.bin"}, "two entries named"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.names.back().substr(0, 20));
    auto bad = entries;
    for (const std::string& name : c.names) bad.push_back({name, "<x/>"});
    ZipWith(dir / "escape.pptx", bad);
    EXPECT_THAT(OpenFails(dir / "escape.pptx"), HasSubstr(c.want));
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path().parent_path() / "evil.xml"));
}

TEST_F(PptxBadInput, OversizedEntriesAndTooManyEntries) {
  auto entries = OkEntries();
  entries.push_back({"ppt/media/big.bin", std::string(3u << 20, 'A')});
  ZipWith(dir / "big.pptx", entries);
  PackageLimits small, ratio, few;
  small.maxEntrySize = (3u << 20) - 1;  // one byte short
  ratio.maxRatio = 100;  // 3 MiB of one letter compresses several hundred times: a bomb by ratio.
  few.maxEntries = 5;
  struct {
    const char* file;
    PackageLimits limits;
    const char* want;
  } cases[] = {{"big.pptx", small, "larger than the limit"}, {"big.pptx", ratio, "zip bomb"}, {"ok.pptx", few, "entries"}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.want);
    EXPECT_THAT(Refusal([&] { Package::Open(dir / c.file, c.limits); }), HasSubstr(c.want));
  }
}

// A slide that is not XML the host reads (an entity bomb, half a part, or
// nesting too deep) fails when first read, naming the part and the fault,
// without expanding anything; the other slide still reads.
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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    const std::string part = "ppt/slides/slide" + std::to_string(c.slide) + ".xml";
    auto p = app->Presentations()->Open(platform::FromUtf8(WithPart("bad.pptx", part, c.edit).string()), false, false, false);
    std::string m = Refusal([&] { p->Slides()->Item(c.slide)->Shapes()->Count(); });
    EXPECT_THAT(m, HasSubstr(c.want));
    EXPECT_THAT(m, HasSubstr(part));
    EXPECT_EQ(p->Slides()->Item(3 - c.slide)->Shapes()->Count(), 1);
    p->Close();
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
  auto entries = decktest::ReadEntries(dir / "b.pptx");
  for (auto& [name, bytes] : entries)
    if (name == slide2) bytes.replace(bytes.find("World"), 5, "Earth");
  ZipWith(dir / "new.pptx", entries);
  std::filesystem::rename(dir / "new.pptx", dir / "b.pptx");
  auto fresh = Package::Open(dir / "b.pptx");
  EXPECT_NE(b->Bytes(slide2).find("World"), std::string::npos);
  EXPECT_NE(fresh->Bytes(slide2).find("Earth"), std::string::npos);
}
