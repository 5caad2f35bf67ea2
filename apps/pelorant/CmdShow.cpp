#include <ext/stdio_filebuf.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "apps/pelorant/Command.h"
#include "apps/pelorant/Json.h"
#include "src/host/Host.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"

namespace {

using namespace host;
using app::Json;

const char* const kUsage =
    "Usage: pelorant show [--json] DECK\n"
    "\n"
    "Prints what the add-in sees in a presentation (.pptx, .pptm, .ppsx): every\n"
    "slide with its index and name, its shapes as a tree (type, name, placeholder\n"
    "kind, text), tables cell by cell, comments with their replies and authors,\n"
    "and the notes page. The file is opened read-only and never written.\n"
    "\n"
    "  --json   one JSON object for scripts, with the full texts\n";

std::string U(const std::wstring& s) { return platform::ToUtf8(s); }

constexpr int kSlice = 1 << 16;

// A text as the inside of a JSON string, converted a slice at a time: the
// largest text of a deck would otherwise be held three times more (as
// UTF-8, as a JSON value and as its serialisation).
void WriteJsonChars(std::ostream& out, std::wstring_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t n = std::min(static_cast<std::size_t>(kSlice), text.size() - pos);
    // The two halves of a surrogate pair make one character.
    if (pos + n < text.size() && text[pos + n] >= 0xDC00 && text[pos + n] <= 0xDFFF) --n;
    const std::string slice = Json(platform::ToUtf8(text.substr(pos, n)));
    out.write(slice.data() + 1, static_cast<std::streamsize>(slice.size() - 2));
    pos += n;
  }
}

void WriteJson(std::ostream& out, std::wstring_view text) {
  out << '"';
  WriteJsonChars(out, text);
  out << '"';
}

std::string TypeName(int t) {
  switch (t) {
    case msoAutoShape: return "auto shape";
    case msoCallout: return "callout";
    case msoChart: return "chart";
    case msoComment: return "comment";
    case msoFreeform: return "freeform";
    case msoGroup: return "group";
    case msoEmbeddedOLEObject: return "embedded OLE object";
    case msoLine: return "line";
    case msoLinkedOLEObject: return "linked OLE object";
    case msoLinkedPicture: return "linked picture";
    case msoPicture: return "picture";
    case msoPlaceholder: return "placeholder";
    case msoTextEffect: return "WordArt";
    case msoMedia: return "media";
    case msoTextBox: return "text box";
    case msoTable: return "table";
    case msoCanvas: return "canvas";
    case msoDiagram: return "diagram";
    case msoInk: return "ink";
    case msoSmartArt: return "SmartArt";
    case msoGraphic: return "graphic";
  }
  return "type " + std::to_string(t);
}

std::string PlaceholderName(int t) {
  switch (t) {
    case ppPlaceholderTitle: return "title";
    case ppPlaceholderBody: return "body";
    case ppPlaceholderCenterTitle: return "center title";
    case ppPlaceholderSubtitle: return "subtitle";
    case ppPlaceholderVerticalTitle: return "vertical title";
    case ppPlaceholderVerticalBody: return "vertical body";
    case ppPlaceholderObject: return "object";
    case ppPlaceholderChart: return "chart";
    case ppPlaceholderBitmap: return "bitmap";
    case ppPlaceholderMediaClip: return "media clip";
    case ppPlaceholderOrgChart: return "SmartArt";
    case ppPlaceholderTable: return "table";
    case ppPlaceholderSlideNumber: return "slide number";
    case ppPlaceholderHeader: return "header";
    case ppPlaceholderFooter: return "footer";
    case ppPlaceholderDate: return "date";
    case ppPlaceholderVerticalObject: return "vertical object";
    case ppPlaceholderPicture: return "picture";
  }
  return std::to_string(t);
}

// One line of text for the tree: breaks shown as symbols, long texts cut.
std::string Abbrev(const std::wstring& text) {
  std::wstring t;
  for (wchar_t c : std::wstring_view(text).substr(0, 60))
    t += c == L'\r' ? L'\x00b6' : c == L'\v' ? L'\x21b5' : c == L'\t' ? L' ' : c;
  if (text.size() > 60) t = t.substr(0, 59) + L"\x2026";
  return Json(U(t));
}

// A shape's text, read a slice at a time: a text of hundreds of megabytes is
// never held whole, which in wide characters would take four times its size.
class ShapeText {
 public:
  ShapeText() = default;
  explicit ShapeText(const Ptr<Shape>& s) {
    if (!s->HasTextFrame()) return;
    auto tf = s->TextFrame();
    if (tf->HasText()) mRange = tf->TextRange();
  }
  // Enough of the text for Abbrev to show it as the whole would show.
  std::wstring Head() const { return Slice(1, 61); }
  void WriteJson(std::ostream& out) const {
    out << '"';
    for (int pos = 1;; pos += kSlice) {
      std::wstring slice = Slice(pos, kSlice);
      WriteJsonChars(out, slice);
      if (slice.size() < static_cast<std::size_t>(kSlice)) break;
    }
    out << '"';
  }

 private:
  std::wstring Slice(int start, int length) const {
    return mRange ? mRange->Characters(start, length)->Text() : std::wstring();
  }
  Ptr<TextRange> mRange;
};

struct Printer {
  std::ostream& out;
  bool json;

  void Shape(const Ptr<host::Shape>& s, int depth, bool last) {
    int type = s->Type();
    std::string ph;
    if (type == msoPlaceholder) ph = PlaceholderName(s->PlaceholderFormat()->Type());
    const ShapeText text(s);
    std::string pad(2 * depth + 2, ' ');
    if (json) {
      out << "{\"type\":" << Json(TypeName(type)) << ",\"typeId\":" << type << ",\"name\":" << Json(U(s->Name()));
      if (!ph.empty()) out << ",\"placeholder\":" << Json(ph);
      if (s->HasTextFrame()) {
        out << ",\"text\":";
        text.WriteJson(out);
      }
    } else {
      out << pad << "[" << TypeName(type) << (ph.empty() ? "" : ": " + ph) << "]";
      if (!s->Name().empty()) out << " " << U(s->Name());
      if (std::wstring head = text.Head(); !head.empty()) out << ": " << Abbrev(head);
      out << "\n";
    }
    if (s->HasTable()) Table(s->Table(), depth + 1);
    if (type == msoGroup || s->HasSmartArt()) {
      auto items = s->GroupItems();
      if (json) out << ",\"items\":[";
      for (int i = 1; i <= items->Count(); ++i) {
        if (json && i > 1) out << ",";
        Shape(items->Item(i), depth + 1, i == items->Count());
      }
      if (json) out << "]";
    }
    if (json) out << "}";
    (void)last;
  }

  void Table(const Ptr<host::Table>& t, int depth) {
    int rows = t->Rows()->Count(), cols = t->Columns()->Count();
    std::string pad(2 * depth + 2, ' ');
    if (json)
      out << ",\"table\":{\"rows\":" << rows << ",\"columns\":" << cols << ",\"cells\":[";
    else
      out << pad << rows << " x " << cols << " cells\n";
    bool first = true;
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c) {
        auto shape = t->Cell(r, c)->Shape();
        // A merged area is shown once, at its top-left cell.
        if (r > 1 && t->Cell(r - 1, c)->Shape()->Identity() == shape->Identity()) continue;
        if (c > 1 && t->Cell(r, c - 1)->Shape()->Identity() == shape->Identity()) continue;
        const ShapeText text(shape);
        if (json) {
          out << (first ? "" : ",") << "{\"row\":" << r << ",\"column\":" << c << ",\"text\":";
          text.WriteJson(out);
          out << "}";
          first = false;
        } else {
          out << pad << "(" << r << "," << c << ") " << Abbrev(text.Head()) << "\n";
        }
      }
    if (json) out << "]}";
  }

  void Comments(const Ptr<host::Comments>& cs, int depth, bool replies = false) {
    std::string pad(2 * depth + 2, ' ');
    for (int i = 1; i <= cs->Count(); ++i) {
      auto c = cs->Item(i);
      if (json) {
        out << (i > 1 ? "," : "") << "{\"author\":" << Json(U(c->Author())) << ",\"initials\":"
            << Json(U(c->AuthorInitials())) << ",\"text\":";
        WriteJson(out, c->Text());
        out << ",\"replies\":[";
        Comments(c->Replies(), depth + 1, true);
        out << "]}";
      } else {
        out << pad << (replies ? "reply " : "comment ") << U(c->Author()) << " (" << U(c->AuthorInitials())
            << "): " << Abbrev(c->Text()) << "\n";
        Comments(c->Replies(), depth + 1, true);
      }
    }
  }

  ShapeText NotesText(const Ptr<Slide>& slide) {
    auto shapes = slide->NotesPage()->Shapes();
    for (int i = 1; i <= shapes->Count(); ++i) {
      auto s = shapes->Item(i);
      if (s->Type() == msoPlaceholder && s->PlaceholderFormat()->Type() == ppPlaceholderBody) return ShapeText(s);
    }
    return {};
  }

  void Deck(const Ptr<Presentation>& p) {
    auto slides = p->Slides();
    int n = slides->Count();
    if (json)
      out << "{\"file\":" << Json(U(p->FullName())) << ",\"slideWidth\":" << p->SlideWidth()
          << ",\"slideHeight\":" << p->SlideHeight() << ",\"slides\":[";
    else
      out << U(p->Name()) << ": " << n << (n == 1 ? " slide" : " slides") << ", " << p->SlideWidth() << " x "
          << p->SlideHeight() << " pt\n";
    for (int i = 1; i <= n; ++i) {
      auto slide = slides->Item(i);
      auto shapes = slide->Shapes();
      if (json) {
        out << (i > 1 ? "," : "") << "{\"index\":" << slide->SlideIndex() << ",\"name\":" << Json(U(slide->Name()))
            << ",\"id\":" << slide->SlideID() << ",\"shapes\":[";
      } else {
        out << "Slide " << slide->SlideIndex() << " " << Json(U(slide->Name())) << "\n";
      }
      for (int k = 1; k <= shapes->Count(); ++k) {
        if (json && k > 1) out << ",";
        Shape(shapes->Item(k), 0, k == shapes->Count());
      }
      auto comments = slide->Comments();
      const ShapeText notes = NotesText(slide);
      if (json) {
        out << "],\"comments\":[";
        Comments(comments, 0);
        out << "],\"notes\":";
        notes.WriteJson(out);
        out << "}";
      } else {
        if (comments->Count() > 0) {
          out << "  Comments:\n";
          Comments(comments, 1);
        }
        if (std::wstring head = notes.Head(); !head.empty()) out << "  Notes: " << Abbrev(head) << "\n";
      }
    }
    if (json) out << "]}\n";
  }
};

int Run(const std::vector<std::string>& args, app::CommandIo& io) {
  bool json = false;
  std::string file;
  for (auto& a : args) {
    if (a == "--json") {
      json = true;
    } else if (a == "--help" || a == "-h") {
      io.out << kUsage;
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      io.err << "pelorant show: unknown option " << a << " (see pelorant show --help)\n";
      return 2;
    } else if (file.empty()) {
      file = a;
    } else {
      io.err << "pelorant show: one deck at a time (see pelorant show --help)\n";
      return 2;
    }
  }
  if (file.empty()) {
    io.err << "pelorant show: which deck? (see pelorant show --help)\n";
    return 2;
  }
  try {
    auto app = pptx::CreateApplication();
    auto p = app->Presentations()->Open(platform::FromUtf8(file), /*readOnly=*/true, /*untitled=*/false,
                                        /*withWindow=*/false);
    // Print into a buffer first so a failure half-way leaves no partial JSON.
    // The buffer is an unnamed temporary file: a deck's texts printed whole
    // would otherwise take memory beside its documents, three times over
    // while a growing string moves.
    if (std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{std::tmpfile(), &std::fclose}) {
      __gnu_cxx::stdio_filebuf<char> fileBuf(file.get(), std::ios::in | std::ios::out);
      std::iostream buf(&fileBuf);
      Printer{buf, json}.Deck(p);
      if (buf.flush() && buf.seekg(0)) {
        io.out << &fileBuf;
        return 0;
      }
    }
    std::ostringstream buf;
    Printer{buf, json}.Deck(p);
    io.out << std::move(buf).str();
    return 0;
  } catch (const platform::ComError& e) {
    io.err << "pelorant show: " << U(platform::ExceptionText(e)) << "\n";
    return 1;
  }
}

app::CommandRegistration show{{"show", "print the slides, shapes, tables, comments and notes of a deck", kUsage, Run}};

}  // namespace
