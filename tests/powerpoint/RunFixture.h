// A source and a target copy of one built deck, opened in the .pptx host,
// with the fake engine open and a run context over them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/AppCommon.h"
#include "fake/FakeEngine.h"
#include "host/DeckBuilder.h"
#include "host/Host.h"
#include "host/pptx/PptxApplication.h"
#include "platform/Strings.h"
#include "powerpoint/PowerPointTranslationProcess.h"
#include "support/ErrorList.h"

namespace runtest {

constexpr long P = 12700;  // EMU per point

// One paragraph of runs, each (text, run attributes such as b="1").
inline std::string Para(const std::vector<std::pair<std::string, std::string>>& runs) {
  std::string p = "<a:p>";
  for (const auto& [text, attrs] : runs) p += "<a:r><a:rPr lang=\"en-US\" " + attrs + "/><a:t>" + text + "</a:t></a:r>";
  return p + "</a:p>";
}

// A shape at the slide's corner holding the given a:p elements; ph makes it
// a placeholder (the p:ph attributes).
inline std::string Box(int id, const std::string& name, const std::string& paragraphs, long cx = 400 * P,
                       long cy = 200 * P, const std::string& bodyPr = "<a:bodyPr/>", const std::string& ph = "") {
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"" + name + "\"/><p:cNvSpPr/><p:nvPr>" +
         (ph.empty() ? "" : "<p:ph " + ph + "/>") + "</p:nvPr></p:nvSpPr><p:spPr>" + decktest::Xfrm(0, 0, cx, cy) +
         "</p:spPr><p:txBody>" + bodyPr + "<a:lstStyle/>" + paragraphs + "</p:txBody></p:sp>";
}

inline std::wstring W(const std::filesystem::path& p) { return platform::FromUtf8(p.string()); }
inline std::wstring Bracket(const std::wstring& s) { return L"[" + s + L"]"; }

class RunFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ErrorList::SetDisplay(false);
    impl = &side.AddImplementation(L"FakeMT");
    impl->AddPair({L"en-ja", L"en", L"ja", 0x9, L"English - Test", L"Fake MT", L"Fake", {}});
    ASSERT_TRUE(eng.OpenEngine(L"FakeMT", L"en-ja", L""));
  }

  void Open(const std::vector<std::string>& slides, int version = 16) {
    decktest::Deck d;
    d.slides = slides;
    decktest::Write(d, dir / "deck.pptx");
    OpenFile(dir / "deck.pptx", version);
  }
  // Opens two copies of the deck as a run has them: a hidden source and a
  // target in a window.
  void OpenFile(const std::filesystem::path& deck, int version) {
    host::pptx::ApplicationOptions options;
    options.version = std::to_wstring(version) + L".0";
    app = host::pptx::CreateApplication(options);
    auto original = app->Presentations()->Open(W(deck), false, false, false);
    original->SaveCopyAs(W(dir / "work.pptx"), host::ppSaveAsOpenXMLPresentation, false);
    original->SaveCopyAs(W(dir / "tran.pptx"), host::ppSaveAsOpenXMLPresentation, false);
    original->Close();
    work = app->Presentations()->Open(W(dir / "work.pptx"), false, false, false);
    tran = app->Presentations()->Open(W(dir / "tran.pptx"), false, false, true);
    prop.Application = app;
  }

  host::Ptr<host::Shape> Source(const std::string& name) { return Shape(work, name); }
  host::Ptr<host::Shape> Target(const std::string& name) { return Shape(tran, name); }
  static host::Ptr<host::Shape> Shape(const host::Ptr<host::Presentation>& p, const std::string& name) {
    return p->Slides()->Item(1)->Shapes()->Item(platform::FromUtf8(name));
  }
  host::Ptr<host::TextRange2> TargetText(const std::string& name) { return Target(name)->TextFrame2()->TextRange(); }
  // The first occurrence of piece in the target's text.
  host::Ptr<host::TextRange2> TargetChars(const std::string& name, const std::wstring& piece) {
    auto all = TargetText(name);
    size_t at = all->Text().find(piece);
    EXPECT_NE(at, std::wstring::npos) << platform::ToUtf8(piece);
    return all->Characters(static_cast<int>(at) + 1, static_cast<int>(piece.size()));
  }
  bool Translate(const std::string& name, bool useSelection = false, bool paragraphMode = false) {
    return powerpoint::TranslateShapeTextRange(ctx, Source(name), Target(name), useSelection, paragraphMode);
  }
  std::vector<std::wstring> SentTexts() const {
    std::vector<std::wstring> out;
    for (auto& c : impl->Translations()) out.push_back(c.text);
    return out;
  }

  decktest::TempDir dir;
  fake_engine::FakeEngineSide side;
  fake_engine::FakeImplementation* impl = nullptr;
  engine::Engine eng{{{}, {}, [](const std::wstring&, std::vector<std::wstring>*) { return false; }}};
  engine::AppCommon appCommon{eng};
  host::Ptr<host::Application> app;
  host::Ptr<host::Presentation> work, tran;
  powerpoint::PPTTranProp prop;
  powerpoint::RunErrors errors;
  powerpoint::RunStatistics stats;
  powerpoint::RunContext ctx{prop, errors, stats, appCommon};
  options::TranslationOptionUDT& o = prop.TranOption;
};

}  // namespace runtest
