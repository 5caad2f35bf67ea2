#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <type_traits>

#include <pugixml.hpp>

#include "src/host/TextRange.h"
#include "src/host/pptx/FontMetrics.h"
#include "src/host/pptx/PptxDocument.h"
#include "src/host/pptx/TextBody.h"
#include "src/host/pptx/TextLanguages.h"
#include "src/platform/ComError.h"
#include "tests/host/DeckBuilder.h"

namespace {

// A text body owner over a bare XML fragment, so the text models can be
// tested without a package.
class Owner : public host::pptx::TextBodyOwner {
 public:
  // paragraphs: the inside of p:txBody after a:bodyPr (a:p elements).
  explicit Owner(const std::string& paragraphs, const std::string& bodyPr = "<a:bodyPr/>") {
    std::string xml = std::string("<p:sp ") + decktest::kNs + "><p:txBody>" + bodyPr + "<a:lstStyle/>" + paragraphs +
                      "</p:txBody></p:sp>";
    pugi::xml_parse_result r = mDoc.load_string(xml.c_str(), pugi::parse_default | pugi::parse_ws_pcdata);
    if (!r) throw std::runtime_error(std::string("bad test xml: ") + r.description());
  }
  std::shared_ptr<host::pptx::Document> Doc() override { return nullptr; }
  const std::string& Part() override { return mPart; }
  host::pptx::TextBodyKind Kind() override { return host::pptx::TextBodyKind::Shape; }
  pugi::xml_node Body(bool) override { return mDoc.child("p:sp").child("p:txBody"); }
  void Changed() override {}
  std::vector<pugi::xml_node> InheritedStyles() override { return styles; }
  host::pptx::ThemeFonts Fonts() override { return fonts; }
  host::pptx::TextFrameGeometry Frame() override { return frame; }
  void SelectText(int, int) override {}
  host::pptx::SlideRef Slide() override { return {}; }

  // The body as XML without the namespace noise, for structure checks.
  std::string Xml() {
    std::ostringstream out;
    for (pugi::xml_node p = Body(false).child("a:p"); p; p = p.next_sibling("a:p")) p.print(out, "", pugi::format_raw);
    return out.str();
  }

  pugi::xml_document mDoc;
  std::string mPart = "ppt/slides/slide1.xml";
  std::vector<pugi::xml_node> styles;
  host::pptx::ThemeFonts fonts{"Liberation Sans", "", "", "Liberation Sans", "", ""};
  host::pptx::TextFrameGeometry frame{400, 300};
};

template <class R>
class BothTextModels : public ::testing::Test {
 protected:
  host::Ptr<R> Whole(const std::shared_ptr<Owner>& o) {
    if constexpr (std::is_same_v<R, host::TextRange>)
      return host::pptx::MakeTextRange(o);
    else
      return host::pptx::MakeTextRange2(o);
  }
  // The runs as a fresh range reads them, "|" between, bold ones marked "*"
  // and italic ones "/".
  std::wstring Runs(const std::shared_ptr<Owner>& o) {
    auto r = Whole(o);
    std::wstring out;
    for (int i = 1, n = r->Runs(-1, -1)->Count(); i <= n; ++i) {
      auto f = r->Runs(i, 1)->Font();
      out += std::wstring(i > 1 ? L"|" : L"") + (f->Bold() == host::msoTrue ? L"*" : L"") +
             (f->Italic() == host::msoTrue ? L"/" : L"") + r->Runs(i, 1)->Text();
    }
    return out;
  }
};
using Models = ::testing::Types<host::TextRange, host::TextRange2>;
TYPED_TEST_SUITE(BothTextModels, Models);

const char* kThreeSentences =
    "<a:p><a:r><a:rPr lang=\"en-US\" sz=\"2000\"/><a:t>One. </a:t></a:r>"
    "<a:r><a:rPr lang=\"en-US\" sz=\"2000\" b=\"1\"/><a:t>Two. </a:t></a:r>"
    "<a:r><a:rPr lang=\"en-US\" sz=\"2000\"/><a:t>Three.</a:t></a:r></a:p>";

TYPED_TEST(BothTextModels, PositionsCountFieldsBreaksAndParagraphMarks) {
  auto o = std::make_shared<Owner>(
      "<a:p><a:r><a:t>Page </a:t></a:r><a:fld id=\"{1}\" type=\"slidenum\"><a:t>12</a:t></a:fld>"
      "<a:br/><a:r><a:t>next</a:t></a:r></a:p><a:p><a:r><a:t>Second</a:t></a:r></a:p><a:p/>");
  auto r = this->Whole(o);
  EXPECT_EQ(std::tuple(r->Text(), r->Length(), r->Paragraphs(-1, -1)->Count()), std::tuple(L"Page 12\vnext\rSecond\r", 20, 3));
  // start, length, and what Characters, Paragraphs and Runs over them read;
  // past the end: the last paragraph, an empty range at the end.
  const struct {
    int start, length;
    const wchar_t *chars, *paras;
  } units[] = {{6, 2, L"12", L""}, {8, 1, L"\v", L""}, {13, 1, L"\r", L""}, {1, 1, L"P", L"Page 12\vnext\r"},
               {2, 1, L"a", L"Second\r"}, {3, 1, L"g", L""}, {50, 3, L"", L""}};
  for (const auto& u : units)
    EXPECT_EQ(std::tuple(r->Characters(u.start, u.length)->Text(), r->Paragraphs(u.start, u.length)->Text()),
              std::tuple(u.chars, u.paras))
        << u.start;
  EXPECT_EQ((std::vector<int>{r->Paragraphs(2, 1)->Start(), r->Paragraphs(9, 1)->Start(), r->Characters(50, 3)->Start()}),
            (std::vector<int>{14, 21, 21}));
  // A sub-range's own units are clipped to it.
  EXPECT_EQ(r->Characters(3, 14)->Paragraphs(2, 1)->Text(), L"Sec");
  // The field is a run of its own beside text formatted alike, also at the start.
  EXPECT_EQ(this->Runs(o), L"Page |12|\vnext\r|Second\r");
  EXPECT_EQ(this->Runs(std::make_shared<Owner>(
                "<a:p><a:fld id=\"{2}\" type=\"slidenum\"><a:t>7</a:t></a:fld></a:p><a:p><a:r><a:t>x</a:t></a:r></a:p>")),
            L"7|\r|x");
}

TYPED_TEST(BothTextModels, NewTextTakesTheFormattingOfTheFirstCharacterItReplacesOrFollows) {
  // From inside the bold sentence to the end: the new text is bold, the
  // plain sentence's run goes with its text and no empty run stays.
  auto o = std::make_shared<Owner>(kThreeSentences);
  this->Whole(o)->Characters(6, 11)->SetText(L"Zwei drei.");
  EXPECT_EQ(std::tuple(this->Runs(o), o->Xml().find("<a:t/>")), std::tuple(std::wstring(L"One. |*Zwei drei."), std::string::npos));
  // Inserted after the bold "Two.": bold as the character before, up to the old bold blank.
  o = std::make_shared<Owner>(kThreeSentences);
  auto added = this->Whole(o)->Characters(6, 4)->InsertAfter(L"\vdos");
  EXPECT_EQ(std::to_wstring(added->Start()) + added->Text() + L"|" + this->Runs(o), L"10\vdos|One. |*Two.\vdos |Three.");
  EXPECT_NE(o->Xml().find("<a:br><a:rPr lang=\"en-US\" sz=\"2000\" b=\"1\"/></a:br>"), std::string::npos) << o->Xml();
}

TYPED_TEST(BothTextModels, ParagraphBreaksInNewTextMakeParagraphsAndDeletingThemJoins) {
  auto o = std::make_shared<Owner>(
      "<a:p><a:pPr algn=\"ctr\"/><a:r><a:rPr sz=\"2400\"/><a:t>Alpha beta</a:t></a:r>"
      "<a:endParaRPr sz=\"1000\"/></a:p>");
  this->Whole(o)->Characters(7, 4)->SetText(L"one\r\ntwo\nthree");
  EXPECT_EQ(this->Whole(o)->Text(), L"Alpha one\rtwo\rthree");
  // Every paragraph keeps the alignment and ends with its mark after its
  // runs; the original mark stays with the last paragraph.
  std::vector<std::string> paras;
  for (pugi::xml_node p : o->Body(false).children("a:p"))
    paras.push_back(std::string(p.child("a:pPr").attribute("algn").value()) + " " + p.last_child().name() + " " +
                    p.last_child().attribute("sz").value());
  EXPECT_EQ(paras, (std::vector<std::string>{"ctr a:endParaRPr 2400", "ctr a:endParaRPr 2400", "ctr a:endParaRPr 1000"}));
  EXPECT_FLOAT_EQ(this->Whole(o)->Paragraphs(2, 1)->Font()->Size(), 24.0f);
  // Deleting across paragraphs joins them.
  o = std::make_shared<Owner>(
      "<a:p><a:pPr lvl=\"1\"/><a:r><a:t>first</a:t></a:r><a:endParaRPr sz=\"900\"/></a:p>"
      "<a:p><a:pPr lvl=\"2\"/><a:r><a:rPr i=\"1\"/><a:t>second</a:t></a:r><a:endParaRPr sz=\"1100\"/></a:p>");
  this->Whole(o)->Characters(4, 5)->SetText(L"");  // "st\rse"
  // The first paragraph's properties, the last one's mark.
  EXPECT_EQ(this->Runs(o), L"fir|/cond");
  EXPECT_EQ(o->Xml(), "<a:p><a:pPr lvl=\"1\"/><a:r><a:t>fir</a:t></a:r><a:r><a:rPr i=\"1\"/><a:t>cond</a:t></a:r>"
                      "<a:endParaRPr sz=\"1100\"/></a:p>");
}

TYPED_TEST(BothTextModels, EmptiedTextKeepsItsFontAndCutFieldsTurnIntoText) {
  auto o = std::make_shared<Owner>("<a:p><a:r><a:rPr sz=\"3200\" b=\"1\"/><a:t>Title</a:t></a:r></a:p>");
  auto r = this->Whole(o);
  r->SetText(L"");
  EXPECT_EQ(this->Whole(o)->Length(), 0);
  EXPECT_STREQ(o->Body(false).child("a:p").child("a:endParaRPr").attribute("sz").value(), "3200");
  // Text typed into the empty shape comes back in that font.
  r->SetText(L"New");
  EXPECT_EQ(std::tuple(this->Whole(o)->Font()->Size(), this->Runs(o)), std::tuple(32.0f, std::wstring(L"*New")));
  // Cutting into a field turns it into text.
  o = std::make_shared<Owner>(
      "<a:p><a:fld id=\"{X}\" type=\"datetime1\"><a:rPr lang=\"de-DE\"/><a:pPr/><a:t>1.2.2024</a:t></a:fld></a:p>");
  this->Whole(o)->Characters(3, 1)->SetText(L"3");
  EXPECT_EQ(std::tuple(this->Whole(o)->Text(), o->Xml().find("a:fld"), o->Xml().find("a:pPr"), this->Whole(o)->LanguageID()),
            std::tuple(L"1.3.2024", std::string::npos, std::string::npos, 1031))
      << o->Xml();
}

TYPED_TEST(BothTextModels, MixedAttributesReadAsMixedAndSettingUnifiesThem) {
  auto o = std::make_shared<Owner>(
      "<a:p><a:r><a:rPr sz=\"1200\" b=\"1\" lang=\"en-US\"><a:latin typeface=\"Arial\"/></a:rPr><a:t>ab</a:t></a:r>"
      "<a:r><a:rPr sz=\"1400\" lang=\"fr-FR\"><a:latin typeface=\"Georgia\"/></a:rPr><a:t>cd</a:t></a:r>"
      "<a:endParaRPr sz=\"900\"/></a:p>");
  auto r = this->Whole(o);
  auto f = r->Font();
  EXPECT_EQ(std::tuple(f->Bold(), r->LanguageID(), f->Size(), f->Name()),
            std::tuple(host::msoTriStateMixed, -2, host::kMixedValue, L""));
  // One run alone is not mixed; the paragraph mark's own size does not count.
  EXPECT_EQ(std::tuple(r->Characters(1, 2)->Font()->Size(), r->Characters(3, 2)->Font()->Name()), std::tuple(12.0f, L"Georgia"));
  f->SetSize(16);
  f->SetBold(host::msoTrue);
  f->SetName(L"Liberation Serif");
  r->SetLanguageID(1041);
  EXPECT_EQ(std::tuple(f->Size(), f->Bold(), r->LanguageID(), f->Name()),
            std::tuple(16.0f, host::msoTrue, 1041, L"Liberation Serif"));
  EXPECT_NE(o->Xml().find("lang=\"ja-JP\""), std::string::npos);
  EXPECT_THROW(r->SetLanguageID(12345678), platform::ComError);
  f->SetSize(4000);  // the largest size there is
  EXPECT_FLOAT_EQ(f->Size(), 4000.0f);
  for (float size : {0.0f, 4000.5f}) EXPECT_THROW(f->SetSize(size), platform::ComError);
}

TYPED_TEST(BothTextModels, FormattingASubRangeSplitsRunsAtItsEdgesTogglesAndSetsScripts) {
  auto o = std::make_shared<Owner>("<a:p><a:r><a:rPr lang=\"en-US\"/><a:t>Hello brave world</a:t></a:r></a:p>");
  this->Whole(o)->Characters(7, 5)->Font()->SetItalic(host::msoTrue);
  EXPECT_EQ(std::tuple(this->Runs(o), this->Whole(o)->Font()->Italic()),
            std::tuple(std::wstring(L"Hello |/brave| world"), +host::msoTriStateMixed));
  this->Whole(o)->Runs(2, 1)->Font()->SetItalic(host::msoTriStateToggle);
  EXPECT_EQ(this->Whole(o)->Font()->Italic(), host::msoFalse);
  // Subscript, superscript and the baseline.
  o = std::make_shared<Owner>("<a:p><a:r><a:t>H2O x2</a:t></a:r></a:p>");
  auto r = this->Whole(o);
  r->Characters(2, 1)->Font()->SetSubscript(host::msoTrue);
  r->Characters(6, 1)->Font()->SetSuperscript(host::msoTrue);
  auto fresh = this->Whole(o);
  EXPECT_EQ((std::vector<int>{fresh->Characters(2, 1)->Font()->Subscript(), fresh->Characters(6, 1)->Font()->Superscript(),
                              fresh->Font()->Subscript()}),
            (std::vector<int>{host::msoTrue, host::msoTrue, host::msoTriStateMixed}));
  EXPECT_FLOAT_EQ(fresh->Characters(6, 1)->Font()->BaselineOffset(), 0.3f);
  fresh->Characters(2, 1)->Font()->SetSubscript(host::msoFalse);
  EXPECT_EQ(this->Whole(o)->Characters(1, 3)->Font()->Subscript(), host::msoFalse);
}

TYPED_TEST(BothTextModels, InheritedValuesComeFromTheListStylesByLevel) {
  auto o = std::make_shared<Owner>(
      "<a:p><a:r><a:t>top</a:t></a:r></a:p><a:p><a:pPr lvl=\"1\"/><a:r><a:t>sub</a:t></a:r></a:p>");
  pugi::xml_document styles;
  styles.load_string(
      "<p:bodyStyle xmlns:a=\"a\" xmlns:p=\"p\"><a:lvl1pPr><a:defRPr sz=\"3200\"><a:latin typeface=\"+mj-lt\"/>"
      "</a:defRPr></a:lvl1pPr><a:lvl2pPr><a:defRPr sz=\"2800\" b=\"1\"/></a:lvl2pPr></p:bodyStyle>");
  o->styles.push_back(styles.first_child());
  o->fonts.majorLatin = "Liberation Serif";
  auto r = this->Whole(o);
  EXPECT_EQ(std::tuple(r->Paragraphs(1, 1)->Font()->Size(), r->Paragraphs(2, 1)->Font()->Size(),
                       r->Paragraphs(1, 1)->Font()->Name(), this->Runs(o)),
            std::tuple(32.0f, 28.0f, L"Liberation Serif", L"top\r|*sub"));
  // Nothing defines it anywhere: the defaults (18 points, the theme body font).
  o->styles.clear();
  EXPECT_EQ(std::tuple(this->Whole(o)->Font()->Size(), this->Whole(o)->Font()->Name()), std::tuple(18.0f, L"Liberation Sans"));
}

TEST(TextLanguages, TagsAndLanguageIdsMapBothWays) {
  // Spelling variants the files carry, a bare language (its primary
  // region) and unknown tags map one way only.
  const struct {
    const char* tag;
    int id;
    bool back = true;
  } cases[] = {{"en-US", 1033}, {"ja-JP", 1041}, {"zh-CN", 2052}, {"zh-TW", 1028}, {"ko-KR", 1042},
               {"de-DE", 1031}, {"fr-FR", 1036}, {"es-ES", 3082}, {"pt-BR", 1046}, {"ru-RU", 1049},
               {"ar-SA", 1025}, {"he-IL", 1037}, {"sr-Latn-RS", 9242}, {"EN-us", 1033, false}, {"en_GB", 2057, false},
               {"de", 1031, false}, {"ja", 1041, false}, {"xx-YY", 0, false}, {"", 0, false}};
  for (const auto& c : cases)
    EXPECT_EQ(std::tuple(host::pptx::LanguageIdFromTag(c.tag), c.back ? host::pptx::TagFromLanguageId(c.id) : c.tag),
              std::tuple(c.id, c.tag));
  // Traditional-sort Spanish is written as plain Spanish; an unknown id has no tag.
  EXPECT_EQ(host::pptx::TagFromLanguageId(1034) + "|" + host::pptx::TagFromLanguageId(4), "es-ES|");
}

TEST(ClassicTextModel, ColourByRgbAndSchemeInSchemaOrderAndTheModernModelsLinesCapsAndFill) {
  auto o = std::make_shared<Owner>(
      "<a:p><a:r><a:rPr><a:latin typeface=\"Arial\"/><a:hlinkClick r:id=\"x\" xmlns:r=\"r\"/></a:rPr>"
      "<a:t>link</a:t></a:r></a:p>");
  auto r = host::pptx::MakeTextRange(o);
  auto color = r->Font()->Color();
  EXPECT_EQ(color->Type(), host::msoColorTypeScheme);
  color->SetRgb(0x0000FF);  // red as 0x00BBGGRR
  EXPECT_EQ((std::vector<int>{color->Type(), color->Rgb()}), (std::vector<int>{host::msoColorTypeRGB, 0x0000FF}));
  r->Font()->SetShadow(host::msoTrue);
  EXPECT_EQ(std::tuple(o->Xml().find("<a:rPr><a:solidFill><a:srgbClr val=\"FF0000\"/></a:solidFill><a:effectLst>") != std::string::npos,
                       o->Xml().find("</a:effectLst><a:latin typeface=\"Arial\"/><a:hlinkClick") != std::string::npos),
            std::tuple(true, true)) << o->Xml();
  color->SetSchemeColor(6);  // ppAccent1
  for (int outside : {0, 9}) EXPECT_THROW(color->SetSchemeColor(outside), platform::ComError);
  EXPECT_EQ((std::vector<int>{color->SchemeColor(), color->Type(), r->Font()->Shadow()}),
            (std::vector<int>{6, host::msoColorTypeScheme, host::msoTrue}));
  // The modern model's underline, strike, caps and fill.
  o = std::make_shared<Owner>("<a:p><a:r><a:rPr u=\"dbl\"/><a:t>ab</a:t></a:r><a:r><a:t>cd</a:t></a:r></a:p>");
  auto modern = host::pptx::MakeTextRange2(o);
  EXPECT_EQ((std::vector<int>{modern->Characters(1, 2)->Font()->UnderlineStyle(), modern->Font()->UnderlineStyle()}),
            (std::vector<int>{3, host::msoTriStateMixed}));
  modern->Font()->SetUnderlineStyle(2);
  modern->Font()->SetStrike(1);
  modern->Font()->SetCaps(2);
  modern->Font()->Fill()->ForeColor()->SetObjectThemeColor(5);  // accent 1
  auto f = modern->Font();
  EXPECT_EQ((std::vector<int>{f->UnderlineStyle(), f->Strike(), f->Caps(), f->Fill()->ForeColor()->ObjectThemeColor()}),
            (std::vector<int>{2, 1, 2, 5}));
  modern->Font()->Fill()->SetVisible(host::msoFalse);
  // The classic model sees the same body.
  EXPECT_EQ(std::tuple(f->Fill()->Visible(), o->Xml().find("<a:noFill/>") != std::string::npos,
                       host::pptx::MakeTextRange(o)->Font()->Underline()),
            std::tuple(host::msoFalse, true, host::msoTrue))
      << o->Xml();
  // Item walks the collection it came from.
  auto paras = host::pptx::MakeTextRange2(std::make_shared<Owner>("<a:p><a:r><a:t>a</a:t></a:r></a:p><a:p/>"))->Paragraphs();
  EXPECT_EQ(paras->Item(1)->Text(), L"a\r");
  EXPECT_THROW(paras->Item(3), platform::ComError);
}

// A body too large to index is read on from where the last read ended: reads
// forwards, backwards, from a paragraph mark and past the end, and after the
// handle's own edit, must give the indexed text.
TEST(TextBodyLength, ALargeBodyReadsAsTheIndexedTextInAnyOrderAndAfterAnEdit) {
  const char* kinds[] = {"<a:p><a:r><a:t>Line</a:t></a:r><a:r><a:t> one</a:t></a:r></a:p>",
                         "<a:p><a:fld id=\"{1}\"><a:t>12</a:t></a:fld><a:br/><a:r><a:t>caf\xc3\xa9 \xf0\x9f\x98\x80</a:t></a:r></a:p>",
                         "<a:p/>", "<a:p><a:pPr lvl=\"1\"/><a:endParaRPr/></a:p>"};
  std::string xml;
  for (int i = 0; i < 5000; ++i) xml += kinds[i % 4];
  Owner o(xml);
  host::pptx::TextBody body(o.Body(false));
  for (int round = 0; round < 2; ++round) {
    // The second round reads after an edit that moved every position.
    if (round) body.Replace({3, 1}, L"\u00e9\rnew ");
    const std::wstring whole = host::pptx::TextBody(o.Body(false)).Text();
    const long mark = static_cast<long>(whole.find(L'\r', 20000)), size = static_cast<long>(whole.size());
    const host::pptx::TextSpan spans[] = {{0, 61},   {61, 9000},   {9061, 7},      {30, 10},
                                          {mark, 3}, {mark + 1, 2}, {size - 5, 100}, {0, size}};
    EXPECT_EQ(body.Length(), size);
    for (const host::pptx::TextSpan& s : spans)
      EXPECT_EQ(body.Text(s), whole.substr(static_cast<size_t>(s.start), static_cast<size_t>(s.length))) << s.start;
  }
}

// A handle mends its index after its own edits instead of reading the body
// again: after every edit it must answer what a fresh handle answers, and
// the length a fresh handle counts without an index must agree (ranges
// clamp with the one and edit with the other). Unknown children hold no
// characters; an a:tab is not the run's a:t.
TEST(TextBodyIndex, AMendedIndexReadsAsAFreshOneAfterEveryEditAndChildrenMatchWholeLocalNames) {
  Owner o("<a:p><a:pPr lvl=\"1\"/><a:r><a:rPr b=\"1\"/><a:t>One </a:t></a:r><a:x:custom/><a:r><a:tab/><a:t>two</a:t></a:r>"
          "<a:r><a:tabLst/></a:r><a:endParaRPr sz=\"900\"/></a:p>"
          "<a:p><a:r><a:t>Page </a:t></a:r><a:fld id=\"{1}\" type=\"slidenum\"><a:t>12</a:t></a:fld><a:br/>"
          "<a:r><a:rPr/></a:r><a:r><a:t>three</a:t></a:r></a:p><a:p/><a:p><a:r><a:t>four five</a:t></a:r></a:p>");
  host::pptx::TextBody body(o.Body(false));
  const std::pair<host::pptx::TextSpan, const wchar_t*> edits[] = {
      {{0, 4}, L"Uno "},            // inside one paragraph, same length
      {{4, 3}, L"dos\rtres\r"},  // new paragraphs
      {{2, 14}, L""},               // across paragraphs, joining them
      {{0, 0}, L"x\vy"},           // a break at the start
      {{9, 2}, L"campo"},           // into the field
      {{30, 5}, L"\r"},            // at the end
      {{3, 1}, L"caf\u00e9 \u65e5\U0001F600 z"},
      {{0, 0}, L"x\x01\t\x1F\xFFFE\xFFFF\xD800\ry"},  // characters XML cannot hold are dropped
  };
  for (const auto& [span, text] : edits) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
    body.Replace(span, text);
    // Formatting cuts the runs at the span's edges, inside characters of
    // every width.
    body.Set({span.start + 2, 3}, host::pptx::CharProp::Italic, "1");
    host::pptx::TextBody fresh(o.Body(false));
    const long counted = fresh.CountLength();
    ASSERT_EQ(body.Text(), fresh.Text());
    EXPECT_EQ(std::tuple(body.Length(), body.CountLength(), counted, body.Paragraphs(), body.Runs()),
              std::tuple(fresh.Length(), fresh.Length(), fresh.Length(), fresh.Paragraphs(), fresh.Runs()));
    for (long at = 0; at <= fresh.Length(); ++at)
      EXPECT_EQ(std::tuple(body.Text({at, 3}), body.FormatNodeAt(at) == fresh.FormatNodeAt(at)),
                std::tuple(fresh.Text().substr(static_cast<size_t>(at), 3), true))
          << at;
  }
  EXPECT_EQ(host::pptx::TextBody(o.Body(false)).Text().substr(0, 4), L"x\t\ry");
  // Children match whole local names only.
  pugi::xml_document d;
  d.load_string("<a:r><a:tab/><t>x</t><a:b:t/></a:r>");
  pugi::xml_node run = d.first_child();
  EXPECT_EQ(host::pptx::LocalName(run.last_child()), "b:t");
  EXPECT_EQ(std::tuple(host::pptx::Child(run, "tab") == run.first_child(), std::string(host::pptx::Child(run, "t").child_value()),
                       host::pptx::Child(run, "ta") || host::pptx::Child(run, "tabs")),
            std::tuple(true, "x", false));
}

// Setting a typeface a run states already writes nothing only where
// writing it again (alone, in schema order, under the body's prefix) would
// leave the XML exactly as it is.
TEST(TextBodySet, ATypefaceIsWrittenAgainUnlessTheXmlWouldStayTheSame) {
  const std::pair<const char*, bool> rows[] = {  // the run's properties, whether the XML changes
      {"<a:solidFill/><a:latin typeface=\"X\"/><a:ea typeface=\"Y\"/>", false},
      {"<a:latin typeface=\"X\"/>", false},
      {"<a:latin typeface=\"X\" panose=\"020B0604\"/>", true},
      {"<a:latin typeface=\"Z\"/>", true},
      {"<a:ea typeface=\"Y\"/><a:latin typeface=\"X\"/>", true},
      {"<a:latin typeface=\"X\"/><a:solidFill/>", true},
      {"<b:latin typeface=\"X\"/>", true},
      {"", true},
  };
  for (const auto& [rPr, changes] : rows) {
    SCOPED_TRACE(rPr);
    Owner o(std::string("<a:p><a:r><a:rPr>") + rPr + "</a:rPr><a:t>ab</a:t></a:r></a:p>");
    const std::string before = o.Xml();
    host::pptx::TextBody body(o.Body(false));
    const bool changed = body.Set({0, 2}, host::pptx::CharProp::Latin, "X");
    EXPECT_EQ(std::tuple(changed, o.Xml() != before), std::tuple(changes, changes));
  }
}

// Read gives what the members give one by one, each property mixed or not
// on its own, over text, marks and empty ranges alike.
TEST(FontReads, ReadAnswersWhatEachMemberDoes) {
  auto o = std::make_shared<Owner>(
      "<a:p><a:r><a:rPr sz=\"2000\" b=\"1\"/><a:t>One </a:t></a:r>"
      "<a:r><a:rPr sz=\"2000\" u=\"sng\" baseline=\"30000\"/><a:t>two</a:t></a:r></a:p>"
      "<a:p><a:endParaRPr i=\"1\"/></a:p>");
  auto whole = host::pptx::MakeTextRange2(o);
  for (auto [start, length] : {std::pair{1, 3}, {1, 7}, {5, 3}, {8, 1}, {9, 0}, {2, 0}}) {
    SCOPED_TRACE(testing::Message() << start << "+" << length);
    auto f = whole->Characters(start, length)->Font();
    const host::Font2::Formatting r = f->Read();
    EXPECT_EQ(std::tuple(r.bold, r.italic, r.underlineStyle, r.size, r.emboss, r.shadow, r.baselineOffset),
              std::tuple(f->Bold(), f->Italic(), f->UnderlineStyle(), f->Size(), f->Emboss(), f->Shadow(),
                         f->BaselineOffset()));
  }
}

// A layout settles only the refit; the waiting sync must still run before
// another body's work, and exactly once.
TEST(DeferredWork, SettlingOneKindKeepsTheOtherForLater) {
  using host::pptx::Document;
  auto doc = Document::CreateEmpty();
  std::string order;
  int body = 0, other = 0;
  doc->Defer(&body, Document::Deferred::Refit, [&] { order += "R"; });
  doc->Defer(&body, Document::Deferred::Sync, [&] { order += "S"; });
  doc->Settle(Document::Deferred::Refit);
  doc->Settle(Document::Deferred::Refit);
  EXPECT_EQ(order, "R");
  doc->Defer(&body, Document::Deferred::Sync, [&] { order += "s"; });  // replaces the waiting one
  doc->Defer(&other, Document::Deferred::Refit, [&] { order += "r"; });
  EXPECT_EQ(order, "Rs");
  doc->Settle();
  EXPECT_EQ(order, "Rsr");
}

// Measuring with a face whose metrics are published (Liberation Sans is
// metric-compatible with the common grotesque: H 1479, e 1139, l 455,
// o 1139, space 569 units of 2048; line height ascender 1854 + descender
// 434 + gap 67).
constexpr double kUnits = 2048.0;
constexpr double kHello = (1479 + 1139 + 455 + 455 + 1139) / kUnits;  // in ems
constexpr double kSpace = 569 / kUnits;
constexpr double kLine = (1854 + 434 + 67) / kUnits;

std::string SansRun(const std::string& text, const char* extra = "") {
  return std::string("<a:r><a:rPr lang=\"en-US\" sz=\"1800\" ") + extra +
         "><a:latin typeface=\"Liberation Sans\"/></a:rPr><a:t>" + text + "</a:t></a:r>";
}

class TextLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const host::pptx::FontFace* face = host::pptx::FontMetrics::Instance().Face("Liberation Sans", false, false);
    if (face->Family() != "Liberation Sans") GTEST_SKIP() << "Liberation Sans is not installed (fonts-liberation2)";
  }
};

// The bounds and lines of a text in a frame of the given width less its
// 7.2 point insets: lines wrap there (with trailing blanks hanging), inside
// a word longer than a line, or not at all; the autofit scale shrinks what
// is measured, alignment moves the bounds but not their size, and an empty
// paragraph is as high as its mark.
TEST_F(TextLayoutTest, BoundsFollowWrappingScaleAlignmentAndEmptyParagraphs) {
  const std::string hello = "<a:p>" + SansRun("Hello") + "</a:p>", four = "<a:p>" + SansRun("Hello Hello Hello Hello") + "</a:p>";
  const struct {
    std::string paragraphs;
    float width;
    bool wrap;
    std::string bodyPr;
    std::vector<double> bounds;  // left, width, height, lines
  } cases[] = {
      {hello, 400, false, "<a:bodyPr/>", {7.2, kHello * 18, kLine * 18, 1}},
      // 85.6 points: "Hello Hello" (87.0) does not fit.
      {four, 100, true, "<a:bodyPr/>", {7.2, kHello * 18, 4 * kLine * 18, 4}},
      {four, 110, true, "<a:bodyPr/>", {7.2, (2 * kHello + kSpace) * 18, 2 * kLine * 18, 2}},
      {four, 50, false, "<a:bodyPr/>", {7.2, (4 * kHello + 3 * kSpace) * 18, kLine * 18, 1}},
      // A word cut in two does not fit its box: the bounds take its whole
      // width, so that fitting shrinks it instead.
      {"<a:p>" + SansRun("Hi HelloHelloHello") + "</a:p>", 100, true, "<a:bodyPr/>", {7.2, 3 * kHello * 18, 3 * kLine * 18, 3}},
      {hello, 200, true, "<a:bodyPr><a:normAutofit fontScale=\"50000\" lnSpcReduction=\"20000\"/></a:bodyPr>",
       {7.2, kHello * 9, kLine * 9 * 0.8, 1}},
      {"<a:p><a:pPr algn=\"ctr\"/>" + SansRun("Hello") + "</a:p>", 200, true, "<a:bodyPr/>",
       {7.2 + (200 - 14.4 - kHello * 18) / 2, kHello * 18, kLine * 18, 1}},
      {hello + "<a:p><a:endParaRPr sz=\"3600\"><a:latin typeface=\"Liberation Sans\"/></a:endParaRPr></a:p>", 200, true,
       "<a:bodyPr/>", {7.2, kHello * 18, kLine * 18 + kLine * 36, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.paragraphs + " " + std::to_string(c.width) + " " + c.bodyPr);
    auto o = std::make_shared<Owner>(c.paragraphs, c.bodyPr);
    o->frame.width = c.width;
    o->frame.wrap = c.wrap;
    auto r = host::pptx::MakeTextRange(o);
    EXPECT_THAT((std::vector<double>{r->BoundLeft(), r->BoundWidth(), r->BoundHeight(), double(r->Lines(-1, -1)->Count())}),
                ::testing::Pointwise(::testing::DoubleNear(0.05), c.bounds));
    // The font size reads unscaled, as the user set it.
    EXPECT_FLOAT_EQ(r->Characters(1, 1)->Font()->Size(), 18.0f);
  }
  auto o = std::make_shared<Owner>(four), cut = std::make_shared<Owner>("<a:p>" + SansRun("Hi HelloHelloHello") + "</a:p>");
  o->frame.width = cut->frame.width = 100;
  EXPECT_EQ(host::pptx::MakeTextRange2(o)->Lines(2, 1)->Text(), L"Hello ");
  EXPECT_LE(host::pptx::MakeTextRange(cut)->Characters(1, 2)->BoundWidth(), 85.6);
  // East Asian text breaks between characters.
  o = std::make_shared<Owner>(
      "<a:p><a:r><a:rPr sz=\"1800\"><a:latin typeface=\"Liberation Sans\"/></a:rPr>"
      "<a:t>\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA"
      "\x9E\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E</a:t></a:r></a:p>");
  o->frame.width = 60;
  auto japanese = host::pptx::MakeTextRange(o);
  EXPECT_TRUE(japanese->Lines(-1, -1)->Count() > 1 && japanese->BoundWidth() <= 60 - 14.4 + 0.01) << japanese->BoundWidth();
}

// A letter measures with the face's advance; the same text twice as large
// is twice as wide, bold wider still; paragraph spacing counts between
// paragraphs only.
TEST_F(TextLayoutTest, AdvancesScaleWithSizeAndWeightAndParagraphsTakeTheirSpacing) {
  auto r = host::pptx::MakeTextRange(std::make_shared<Owner>("<a:p>" + SansRun("Hello") + "</a:p>"));
  EXPECT_NEAR(r->Characters(1, 1)->BoundWidth(), 1479 / kUnits * 18, 0.05);
  r->Font()->SetSize(36);
  EXPECT_NEAR(r->BoundWidth(), kHello * 36, 0.1);
  double plain = r->BoundWidth();
  r->Font()->SetBold(host::msoTrue);
  EXPECT_GT(r->BoundWidth(), plain);
  const std::string before = "<a:spcBef><a:spcPts val=\"600\"/></a:spcBef>";
  r = host::pptx::MakeTextRange(std::make_shared<Owner>(
      "<a:p><a:pPr><a:lnSpc><a:spcPct val=\"150000\"/></a:lnSpc>" + before +
      "<a:spcAft><a:spcPts val=\"1200\"/></a:spcAft></a:pPr>" + SansRun("Hello") + "</a:p><a:p><a:pPr>" + before +
      "</a:pPr>" + SansRun("Hello") + "</a:p><a:p><a:pPr><a:lnSpc><a:spcPts val=\"3000\"/></a:lnSpc></a:pPr>" +
      SansRun("Hello") + "</a:p>"));
  // 1.5 lines, 12 points after, 6 before, one line, exactly 30 points.
  EXPECT_THAT((std::vector<double>{r->Paragraphs(1, 1)->BoundHeight(), r->Paragraphs(3, 1)->BoundHeight(),
                                   r->BoundHeight(), r->Paragraphs(2, 1)->BoundTop()}),
              ::testing::Pointwise(::testing::DoubleNear(0.05),
                                   std::vector<double>{1.5 * kLine * 18, 30, 1.5 * kLine * 18 + 12 + 6 + kLine * 18 + 30,
                                                       3.6 + 1.5 * kLine * 18 + 12 + 6}));
}

TEST_F(TextLayoutTest, AStyledFamilyTheSystemLacksFallsBackOnItsBaseFamily) {
  auto& metrics = host::pptx::FontMetrics::Instance();
  const host::pptx::FontFace* base = metrics.Face("Liberation Sans", false, false);
  // Cached: the same face object for the same request.
  EXPECT_EQ((std::vector<bool>{metrics.Face("Liberation Sans Nonexistentstyle", false, false) == base,
                               metrics.Face("Liberation Sans", false, false) == base, metrics.Face("Liberation Sans", true, false) == base}),
            (std::vector<bool>{true, true, false}));
  // Characters the face lacks are measured with a face that has them.
  EXPECT_GT(base->Advance(U'\u65E5'), 0.5);
  // A narrow and a wide letter keep their own widths once known.
  const double narrow = base->Advance(U'i'), wide = base->Advance(U'W');
  EXPECT_LT(narrow, wide);
  EXPECT_EQ((std::vector<double>{base->Advance(U'i'), base->Advance(U'W')}), (std::vector<double>{narrow, wide}));
}

// A master's theme is worked out once and kept; an edit of the theme, of
// the master's colour map or of the link between them shows in the next read.
TEST(ThemeCache, AnEditOfTheThemeOrTheMasterIsSeen) {
  using namespace host;
  testsupport::TempDir dir;
  decktest::Write(decktest::Deck{}, dir / "deck.pptx");
  auto doc = pptx::Document::Open(dir / "deck.pptx");
  const std::string master = "ppt/slideMasters/slideMaster1.xml", theme = "ppt/theme/theme1.xml";
  EXPECT_EQ(std::tuple(doc->Fonts(master).majorLatin, doc->Theme(master).colors.count("tx1")), std::tuple(std::string("Liberation Serif"), 0ul));

  pugi::xml_node elements = doc->Pkg().Xml(theme).document_element().first_child();
  elements.child("a:fontScheme").child("a:majorFont").child("a:latin").attribute("typeface") = "Georgia";
  pugi::xml_node scheme = elements.append_child("a:clrScheme");
  scheme.append_child("a:dk1").append_child("a:srgbClr").append_attribute("val") = "102030";
  scheme.append_child("a:lt1").append_child("a:sysClr").append_attribute("lastClr") = "FFFFFF";
  doc->MarkDirty(theme);
  EXPECT_EQ(std::tuple(doc->Fonts(master).majorLatin, doc->Theme(master).colors.at("tx1")), std::tuple(std::string("Georgia"), 0x102030u));

  doc->Pkg().Xml(master).document_element().child("p:clrMap").attribute("tx1") = "lt1";
  doc->MarkDirty(master);
  EXPECT_EQ(doc->Theme(master).colors.at("tx1"), 0xFFFFFFu);
  // The master pointed at another theme.
  std::string bytes = doc->Pkg().Bytes(theme);
  doc->Pkg().SetPart("ppt/theme/theme2.xml", bytes.replace(bytes.find("Georgia"), 7, "Caladea"));
  EXPECT_EQ(doc->Fonts(master).majorLatin, "Georgia");
  const std::string rels = "ppt/slideMasters/_rels/slideMaster1.xml.rels";
  doc->Pkg().Xml(rels).document_element().find_child_by_attribute("Id", "rIdT").attribute("Target") =
      "../theme/theme2.xml";
  doc->MarkDirty(rels);
  EXPECT_EQ(doc->Fonts(master).majorLatin, "Caladea");
}

// The styles a text inherits are worked out once for every text that
// inherits the same; an edit of anything they come from shows in the next
// read: the placeholder the text fills, the layout and the link to it, the
// master, the theme, the style a table names and that style.
TEST(StyleContextCache, AnEditOfEachInputIsSeen) {
  using namespace host;
  struct Row {
    const char* name;
    int shape;  // 1 the title, 2 the table
    std::function<std::wstring(const Ptr<TextRange2>&)> read;
    std::wstring before, after;
    std::string part;
    std::function<void(pugi::xml_node root)> edit;
  };
  auto size = [](const Ptr<TextRange2>& r) { return std::to_wstring(static_cast<int>(r->Font()->Size())); };
  auto name = [](const Ptr<TextRange2>& r) { return r->Font()->Name(); };
  auto bold = [](const Ptr<TextRange2>& r) { return std::to_wstring(r->Font()->Bold()); };
  const std::string slide = "ppt/slides/slide1.xml", layout = "ppt/slideLayouts/slideLayout1.xml",
                    master = "ppt/slideMasters/slideMaster1.xml";
  const Row rows[] = {
      {"the placeholder", 1, size, L"44", L"32", slide,
       [](pugi::xml_node r) { r.select_node("//p:ph").node().attribute("type") = "body"; }},
      {"the slide's layout", 1, size, L"44", L"20", "ppt/slides/_rels/slide1.xml.rels",
       [](pugi::xml_node r) { r.first_child().attribute("Target") = "../slideLayouts/slideLayout2.xml"; }},
      {"the layout", 1, size, L"44", L"20", layout,
       [](pugi::xml_node r) {
         pugi::xml_node ls = r.select_node("//a:lstStyle").node();
         ls.append_child("a:lvl1pPr").append_child("a:defRPr").append_attribute("sz") = "2000";
       }},
      {"the master", 1, size, L"44", L"40", master,
       [](pugi::xml_node r) { r.select_node("//p:titleStyle/a:lvl1pPr/a:defRPr").node().attribute("sz") = "4000"; }},
      {"the theme", 1, name, L"Liberation Sans", L"Caladea", "ppt/theme/theme1.xml",
       [](pugi::xml_node r) { r.select_node("//a:minorFont/a:latin").node().attribute("typeface") = "Caladea"; }},
      {"the table's style", 2, bold, L"-1", L"0", slide,
       [](pugi::xml_node r) { r.select_node("//a:tableStyleId").node().text() = "{X}"; }},
      {"the table style", 2, bold, L"-1", L"0", "ppt/tableStyles.xml",
       [](pugi::xml_node r) {
         r.first_child().append_child("a:firstRow").append_child("a:tcTxStyle").append_attribute("b") = "off";
       }},
  };
  // Two slides alike; a second layout whose title is smaller.
  testsupport::TempDir dir;
  decktest::Deck d;
  std::string ph = decktest::Ph(2, "Title", "type=\"title\"", "", "T");
  std::string table = decktest::Table(3, "Table", 1, {decktest::Cell("C")});
  table.replace(table.find("<a:tblPr/>"), 10, "<a:tblPr firstRow=\"1\"><a:tableStyleId>{S}</a:tableStyleId></a:tblPr>");
  d.slides = {ph + table, ph + table};
  d.layoutShapes = decktest::Ph(2, "Title", "type=\"title\"", "", "");
  std::string small = d.layoutShapes;
  small.replace(small.find("<a:lstStyle/>"), 13, "<a:lstStyle><a:lvl1pPr><a:defRPr sz=\"2000\"/></a:lvl1pPr></a:lstStyle>");
  d.parts["ppt/slideLayouts/slideLayout2.xml"] = {
      "application/vnd.openxmlformats-officedocument.presentationml.slideLayout+xml",
      std::string("<p:sldLayout ") + decktest::kNs + "><p:cSld>" + decktest::SpTree(small) + "</p:cSld></p:sldLayout>"};
  d.parts["ppt/tableStyles.xml"] = {
      "application/vnd.openxmlformats-officedocument.presentationml.tableStyles+xml",
      "<a:tblStyleLst xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" def=\"{S}\">"
      "<a:tblStyle styleId=\"{S}\" styleName=\"S\"><a:wholeTbl><a:tcTxStyle b=\"on\"/></a:wholeTbl></a:tblStyle>"
      "</a:tblStyleLst>"};
  decktest::Write(d, dir / "deck.pptx");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto doc = pptx::Document::Open(dir / "deck.pptx");
    doc->Pkg().AddRelationship(doc->PresentationPart(),
                               "http://schemas.openxmlformats.org/officeDocument/2006/relationships/tableStyles",
                               "ppt/tableStyles.xml");
    auto text = [&](std::size_t slide) {
      Ptr<Shape> s = pptx::MakeShapes({doc, doc->SlideList().at(slide).id, doc->SlideList().at(slide).part, false})->Item(row.shape);
      if (row.shape == 2) s = s->Table()->Cell(1, 1)->Shape();
      return row.read(s->TextFrame2()->TextRange());
    };
    EXPECT_EQ(text(0), row.before);
    row.edit(doc->Pkg().Xml(row.part).document_element());
    doc->MarkDirty(row.part);
    // The styles are kept for the page last asked about: the same page sees
    // the edit, and the other page, which an edit of the first slide's own
    // parts leaves alone, finds its own.
    const std::wstring first = text(0);
    EXPECT_EQ(std::tuple(first, text(1)), std::tuple(row.after, row.part.starts_with("ppt/slides/") ? row.before : row.after));
  }
}

// What fontconfig itself answers for one missing character: the advance
// in the face it matches, or the half-em stand-in when that face lacks it.
double MatchedAdvance(char32_t c) {
  FcPattern* pattern = FcPatternCreate();
  FcCharSet* set = FcCharSetCreate();
  FcCharSetAddChar(set, c);
  FcPatternAddCharSet(pattern, FC_CHARSET, set);
  FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcChar8* file = nullptr;
  int index = 0;
  double advance = 0.5;
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && FT_Init_FreeType(&library) == 0) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    if (FT_New_Face(library, reinterpret_cast<const char*>(file), index, &face) == 0) {
      FT_Fixed units = 0;
      if (FT_UInt glyph = FT_Get_Char_Index(face, c); glyph && FT_Get_Advance(face, glyph, FT_LOAD_NO_SCALE, &units) == 0)
        advance = static_cast<double>(units) / face->units_per_EM;
      FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
  }
  if (match) FcPatternDestroy(match);
  FcCharSetDestroy(set);
  FcPatternDestroy(pattern);
  return advance;
}

// Missing characters share matches by the fonts that have them; each must
// still get the face fontconfig matches for it alone, whichever came first.
TEST(FontMetricsTest, AMissingCharacterIsMeasuredInTheFaceMatchedForIt) {
  const host::pptx::FontFace* base = host::pptx::FontMetrics::Instance().Face("Liberation Sans", false, false);
  if (base->Family() != "Liberation Sans") GTEST_SKIP() << "Liberation Sans is not installed";
  for (char32_t c : {U'\u27E6', U'\u65E5', U'\u2605', U'\uD55C', U'\u0639', U'\u3042', U'\u27E7', U'\u0915',
                     U'\U0001F600', U'\u672C'}) {
    SCOPED_TRACE(static_cast<unsigned>(c));
    EXPECT_DOUBLE_EQ(base->Advance(c), MatchedAdvance(c));
  }
}

}  // namespace

