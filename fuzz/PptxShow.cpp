// A deck from anyone, opened read-only and printed the way `pelorant show`
// prints it (every slide, shape, group member, table cell, comment, reply and
// notes page), then walked again for what a translation reads besides the
// text: geometry, frames, paragraphs, runs, lines, fonts and measured
// bounds. A damaged deck must end in a ComError; anything else escaping is
// a finding.
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "apps/pelorant/Command.h"
#include "fuzz/FuzzSupport.h"
#include "src/host/Host.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"

namespace {

using host::Ptr;

void Finite(float v, const char* what) {
  if (std::isnan(v)) fuzz::Fail(std::string(what) + " is not a number");
}

void ReadRange(const Ptr<host::TextRange>& range) {
  (void)range->Runs()->Count();
  (void)range->Lines()->Count();
  auto paragraphs = range->Paragraphs();
  for (int i = 1; i <= paragraphs->Count(); ++i) {
    auto p = range->Paragraphs(i, 1);
    (void)p->Text();
    (void)p->LanguageID();
    auto font = p->Font();
    (void)font->Name();
    Finite(font->Size(), "a font size");
    (void)font->Bold();
    (void)font->Color()->Rgb();
  }
  Finite(range->BoundLeft(), "a text bound");
  Finite(range->BoundTop(), "a text bound");
  Finite(range->BoundWidth(), "a text bound");
  Finite(range->BoundHeight(), "a text bound");
}

void ReadRange2(const Ptr<host::TextRange2>& range) {
  for (auto units : {range->Paragraphs(), range->Runs(), range->Lines()}) {
    for (int i = 1; i <= units->Count(); ++i) {
      auto unit = units->Item(i);
      (void)unit->Text();
      auto font = unit->Font();
      (void)font->Name();
      (void)font->NameFarEast();
      Finite(font->Size(), "a font size");
      (void)font->Fill()->ForeColor()->Type();
    }
  }
}

void ReadShape(const Ptr<host::Shape>& shape, int depth) {
  for (float v : {shape->Left(), shape->Top(), shape->Width(), shape->Height(), shape->Rotation()})
    Finite(v, "a shape's geometry");
  (void)shape->Id();
  (void)shape->Visible();
  (void)shape->AutoShapeType();
  (void)shape->HasChart();
  (void)shape->HasDiagram();
  if (shape->Type() == host::msoPlaceholder) (void)shape->PlaceholderFormat()->ContainedType();
  if (depth < 16 && (shape->Type() == host::msoGroup || shape->HasSmartArt())) {
    auto items = shape->GroupItems();
    for (int i = 1; i <= items->Count(); ++i) ReadShape(items->Item(i), depth + 1);
  }
  if (shape->HasTable()) {
    auto table = shape->Table();
    for (int r = 1; r <= table->Rows()->Count(); ++r) Finite(table->Rows()->Item(r)->Height(), "a row height");
    for (int c = 1; c <= table->Columns()->Count(); ++c) Finite(table->Columns()->Item(c)->Width(), "a column width");
    for (int r = 1; r <= table->Rows()->Count(); ++r)
      for (int c = 1; c <= table->Columns()->Count(); ++c) ReadShape(table->Cell(r, c)->Shape(), depth + 1);
  }
  if (!shape->HasTextFrame()) return;
  auto frame = shape->TextFrame();
  (void)frame->AutoSize();
  (void)frame->WordWrap();
  (void)frame->Orientation();
  (void)frame->VerticalAnchor();
  for (float v : {frame->MarginLeft(), frame->MarginRight(), frame->MarginTop(), frame->MarginBottom()})
    Finite(v, "a margin");
  ReadRange(frame->TextRange());
  ReadRange2(shape->TextFrame2()->TextRange());
}

void ReadDeck(const std::wstring& path) {
  static Ptr<host::Application> app = host::pptx::CreateApplication();
  try {
    auto deck = app->Presentations()->Open(path, true, false, false);
    try {
      auto slides = deck->Slides();
      for (int s = 1; s <= slides->Count(); ++s) {
        auto slide = slides->Item(s);
        for (auto shapes : {slide->Shapes(), slide->NotesPage()->Shapes()})
          for (int i = 1; i <= shapes->Count(); ++i) ReadShape(shapes->Item(i), 0);
      }
    } catch (const platform::ComError&) {
    }
    deck->Close();
  } catch (const platform::ComError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const app::Command* show = app::FindCommand("show");
  if (!show) fuzz::Fail("the show command is not linked in");
  std::string path = fuzz::WriteScratchFile("deck.pptx", data, size);
  std::istringstream in;
  std::ostringstream out, err;
  app::CommandIo io{in, out, err};
  // Both output forms, chosen by the input so that a finding reproduces.
  std::vector<std::string> args;
  if (size % 2) args.push_back("--json");
  args.push_back(path);
  int status = show->run(args, io);
  if (status == 1 && err.str().empty()) fuzz::Fail("a failure without a message");
  if (status != 0 && status != 1) fuzz::Fail("unexpected exit status " + std::to_string(status));
  if (status == 0) ReadDeck(platform::FromUtf8(path));
  return 0;
}
