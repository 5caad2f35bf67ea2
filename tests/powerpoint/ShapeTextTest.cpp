#include <string>
#include <vector>

#include "RunFixture.h"
#include "host/Shapes.h"
#include "host/TextRange.h"

using namespace runtest;

namespace {

// The core cases run on both text models: the classic one below version 12
// and the newer one from 12 on.
class ShapeTextModels : public RunFixture, public ::testing::WithParamInterface<int> {};

TEST_P(ShapeTextModels, SentencesLandInPlaceWithFormattingAndSeparators) {
  Open({Box(2, "Box",
            Para({{"One cat.", ""}, {" Two dogs.", "b=\"1\""}}) + Para({{"Three birds.", "i=\"1\""}}))},
       GetParam());
  prop.TranOption.SentenceSeparator = L"|";
  ASSERT_TRUE(Translate("Box"));
  // The separator follows a sentence only when no line end does and it is
  // not the last one.
  EXPECT_EQ(TargetText("Box"), L"ONE CAT.| TWO DOGS.\rTHREE BIRDS.");
  EXPECT_EQ(TargetChars("Box", L"ONE CAT.|")->Font()->Bold(), host::msoFalse);
  EXPECT_EQ(TargetChars("Box", L" TWO DOGS.")->Font()->Bold(), host::msoTrue);
  EXPECT_EQ(TargetChars("Box", L"THREE BIRDS.")->Font()->Italic(), host::msoTrue);
  EXPECT_EQ(SentTexts(), (std::vector<std::wstring>{L"One cat.", L"Two dogs.", L"Three birds."}));
  EXPECT_EQ(stats.segmentsTranslated, 3);
  EXPECT_TRUE(stats.segmentsLeft.empty());
}

// Translations longer than their sources move every later position: the
// second and third paragraphs must still be written over themselves.
TEST_P(ShapeTextModels, ParagraphModeWritesEveryParagraphInPlace) {
  std::string body = Para({{"First one.", ""}}) + Para({{"Second one. More here.", ""}}) + Para({{"Third.", ""}});
  Open({"<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"Body\"/><p:cNvSpPr/><p:nvPr><p:ph type=\"body\" idx=\"1\"/>"
        "</p:nvPr></p:nvSpPr><p:spPr>" + decktest::Xfrm(0, 0, 400 * P, 300 * P) +
        "</p:spPr><p:txBody><a:bodyPr/><a:lstStyle/>" + body + "</p:txBody></p:sp>"},
       GetParam());
  impl->SetTranslator(Bracket);
  ASSERT_TRUE(Translate("Body", false, true));
  EXPECT_EQ(TargetText("Body"), L"[First one.]\r[Second one.] [More here.]\r[Third.]");
}

TEST_P(ShapeTextModels, TextSelectionInsideTheShapeIsTranslatedWhereItIs) {
  Open({Box(2, "Box", Para({{"Alpha one. Beta two. Gamma three. Delta four.", ""}}))}, GetParam());
  impl->SetTranslator(Bracket);
  prop.SelectedTextStart = 12;  // "Beta two. Gamma three. "
  prop.SelectedTextSize = 23;
  prop.TranOption.DisplaysDocument = 1;  // the window follows each segment
  ASSERT_TRUE(Translate("Box", true));
  EXPECT_EQ(TargetText("Box"), L"Alpha one. [Beta two.] [Gamma three.] Delta four.");
  prop.SelectedTextSize = 0;
  EXPECT_FALSE(Translate("Box", true));
}

TEST_P(ShapeTextModels, DualPrintLayoutsAndColours) {
  struct Case {
    int dest;
    std::wstring expected;
  };
  const Case cases[] = {
      {0, L"Hello there.\vHELLO THERE.\v Bye now.\v BYE NOW."},
      {1, L"Hello there.HELLO THERE. Bye now. BYE NOW."},
      {2, L"Hello there.HELLO THERE.\v Bye now. BYE NOW."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dest);
    Open({Box(2, "Box", Para({{"Hello there. Bye now.", ""}}))}, GetParam());
    prop.TranOption.DualPrint = 1;
    prop.TranOption.DualPrintDest = c.dest;
    prop.TranOption.ChangesOrigFontColor = 1;
    prop.TranOption.OrigFontColorValue = 0x0000FF;
    prop.TranOption.ChangesTranFontColor = 1;
    prop.TranOption.TranFontColorValue = 0xFF0000;
    ASSERT_TRUE(Translate("Box"));
    EXPECT_EQ(TargetText("Box"), c.expected);
    for (const wchar_t* original : {L"Hello there.", L"Bye now."})
      EXPECT_EQ(TargetChars("Box", original)->Font()->Fill()->ForeColor()->Rgb(), 0x0000FF) << original;
    for (const wchar_t* translation : {L"HELLO THERE.", L"BYE NOW."})
      EXPECT_EQ(TargetChars("Box", translation)->Font()->Fill()->ForeColor()->Rgb(), 0xFF0000) << translation;
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, ShapeTextModels, ::testing::Values(11, 16));

class ShapeText : public RunFixture {};

TEST_F(ShapeText, EveryParagraphOfALongBodyIsTranslated) {
  std::string body;
  for (int i = 1; i <= 505; ++i) body += Para({{"p" + std::to_string(i), ""}});
  Open({Box(2, "Box", body)});
  ASSERT_TRUE(Translate("Box", false, true));
  std::wstring text = TargetText("Box");
  EXPECT_EQ(text.substr(0, 6), L"P1\rP2\r");
  EXPECT_EQ(text.substr(text.size() - 9), L"P504\rP505");
  EXPECT_EQ(stats.segmentsTranslated, 505);
}

TEST_F(ShapeText, TargetLanguageAndFontsByCharacterSet) {
  struct Case {
    int charset;
    std::wstring sjis, russian;
    std::wstring expectedName;  // empty: the font stays as it was
  };
  const Case cases[] = {
      {128, L"IPAGothic", L"", L"IPAGothic"},
      {128, L"", L"DejaVu Serif", L""},
      {204, L"IPAGothic", L"DejaVu Serif", L"DejaVu Serif"},
      {161, L"IPAGothic", L"DejaVu Serif", L""},  // Greek has no font option
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.charset);
    Open({Box(2, "Box", Para({{"Good morning.", "lang=\"en-US\""}}))});
    std::wstring before = Target("Box")->TextFrame2()->TextRange()->Font()->Name();
    prop.TranOption.ToCharset = c.charset;
    prop.TranOption.ToLcid = 1041;
    prop.TranOption.FontSJIS = c.sjis;
    prop.TranOption.FontRussian = c.russian;
    ASSERT_TRUE(Translate("Box"));
    auto font = Target("Box")->TextFrame2()->TextRange()->Font();
    EXPECT_EQ(font->Name(), c.expectedName.empty() ? before : c.expectedName);
    if (!c.expectedName.empty()) {
      EXPECT_EQ(font->NameFarEast(), c.expectedName);
    }
    EXPECT_EQ(Target("Box")->TextFrame2()->TextRange()->LanguageID(), 1041);
  }
}

// A bold word lands on the word the engine pairs it with, wherever that is
// in the translation; the rest of the sentence stays plain.
TEST_F(ShapeText, KeepStyleFollowsTheEnginesCorrespondence) {
  Open({Box(2, "Box", Para({{"The ", ""}, {"big", "b=\"1\""}, {" dog.", ""}}))});
  impl->SetTranslation(L"The big dog.", L"El perro grande.");
  impl->SetCorrespondence(L"The big dog.", {{{{0, 3}}, {{0, 2}}}, {{{4, 3}}, {{9, 6}}}, {{{8, 4}}, {{3, 5}}}});
  prop.TranOption.KeepStyle = 1;
  ASSERT_TRUE(Translate("Box"));
  EXPECT_EQ(TargetText("Box"), L"El perro grande.");
  EXPECT_EQ(TargetChars("Box", L"grande")->Font()->Bold(), host::msoTrue);
  EXPECT_EQ(TargetChars("Box", L"El perro ")->Font()->Bold(), host::msoFalse);
  EXPECT_EQ(TargetChars("Box", L".")->Font()->Bold(), host::msoFalse);
}

TEST_F(ShapeText, SegmentsTheEngineFailsOnAreLeftAndCounted) {
  Open({Box(2, "Box", Para({{"Keep this. Change that.", ""}}))});
  impl->Script(fake_engine::Operation::Translate, {.status = 3, .errorCode = 30006, .times = 1});
  ASSERT_TRUE(Translate("Box"));
  EXPECT_EQ(TargetText("Box"), L"Keep this. CHANGE THAT.");
  EXPECT_EQ(stats.segmentsTranslated, 1);
  EXPECT_EQ(stats.segmentsLeft[L"engine failed"], 1);
}

// Shrinking works on the real text metrics of the host, in whole points
// from each run's own size, on a translation three times its source's length.
class FitText : public RunFixture, public ::testing::WithParamInterface<int> {};

TEST_P(FitText, ShrinksUntilTheTextFitsAndNeverToNothing) {
  Open({Box(2, "Long", Para({{"Several words in one small box.", "sz=\"2400\""}, {" More.", "sz=\"2000\""}}),
            200 * P, 100 * P) +
        Box(3, "Short", Para({{"Fits.", "sz=\"1800\""}}), 300 * P, 80 * P) +
        Box(4, "Tiny", Para({{"Never gone", "sz=\"200\""}}), 10 * P, 1 * P)},
       GetParam());
  impl->SetTranslator([](const std::wstring& s) { return s + L" " + s + L" " + s; });
  for (const char* name : {"Long", "Short", "Tiny"}) ASSERT_TRUE(Translate(name)) << name;

  auto target = Target("Long");
  auto frame = target->TextFrame2();
  float room = target->Height() - frame->MarginTop();
  // The source fits, so the older hosts' rule (room as large as the source
  // text takes) leaves the same room.
  ASSERT_LE(Source("Long")->TextFrame2()->TextRange()->BoundHeight(), room);
  ASSERT_GT(frame->TextRange()->BoundHeight(), room);
  ASSERT_TRUE(powerpoint::FitTextToShape(ctx, Source("Long"), target));
  EXPECT_LE(frame->TextRange()->BoundHeight(), room);
  float big = TargetChars("Long", L"Several")->Font()->Size();
  EXPECT_LT(big, 24.0f);
  EXPECT_FLOAT_EQ(TargetChars("Long", L"More")->Font()->Size(), big - 4.0f);
  // One point more did not fit: the shrinking stops at the first size that does.
  auto all = frame->TextRange();
  int split = static_cast<int>(all->Text().find(L" More."));
  all->Characters(1, split)->Font()->SetSize(big + 1);
  all->Characters(split + 1, all->Length() - split)->Font()->SetSize(big - 3);
  EXPECT_GT(frame->TextRange()->BoundHeight(), room);

  ASSERT_TRUE(powerpoint::FitTextToShape(ctx, Source("Short"), Target("Short")));
  EXPECT_FLOAT_EQ(Target("Short")->TextFrame2()->TextRange()->Font()->Size(), 18.0f);

  ASSERT_TRUE(powerpoint::FitTextToShape(ctx, Source("Tiny"), Target("Tiny")));
  EXPECT_FLOAT_EQ(Target("Tiny")->TextFrame2()->TextRange()->Font()->Size(), 1.0f);
}

INSTANTIATE_TEST_SUITE_P(Versions, FitText, ::testing::Values(11, 16));

}  // namespace
