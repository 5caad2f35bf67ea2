// The whole `pelorant translate` of a real deck with Apertium English to
// Spanish, side by side in one run with Apertium alone:
//   - over the deck's text extracted to a plain file (goal: 1.3 or less);
//   - over the deck with Apertium's own pptx format (goal: below 1, although
//     the run also translates notes, SmartArt, tables and comments);
// and editing linearity: the run with the bracket test engine over decks of
// N and 4N shapes (goal: 4N costs at most 5 times N). Every time is the
// median of several rounds, taken in turns so that the machine's load
// falls on all of them alike; only the ratios mean anything. Processor time
// (of each command and all it started) is shown beside wall time.
//
//   translate_deck [DECK] [ROUNDS]     (default: poi__customGeo.pptx, 5; "" for the default deck)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/common/TempDir.h"
#include "tests/host/DeckBuilder.h"
#include "src/host/Host.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/platform/Strings.h"

namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Wall time and processor time (of the command and everything it started).
struct Times {
  double wall = 0;
  double cpu = 0;
};

double ChildrenCpu() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Times a shell command; exits when it fails, since a failed run would make
// a meaningless ratio.
Times Time(const std::string& command) {
  const double cpu0 = ChildrenCpu();
  auto t0 = std::chrono::steady_clock::now();
  const std::string err = (std::filesystem::temp_directory_path() / "translate_deck.err").string();
  int rc = std::system((command + " >/dev/null 2>" + Quote(err)).c_str());
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (rc != 0) {
    std::fprintf(stderr, "failed (%d): %s\n", rc, command.c_str());
    std::system(("head -c 2000 " + Quote(err) + " >&2").c_str());
    std::exit(1);
  }
  return {s, ChildrenCpu() - cpu0};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Medians (wall and processor time apart) of commands run in turns, round
// after round.
std::vector<Times> Measure(const std::vector<std::string>& commands, int rounds) {
  std::vector<std::vector<double>> wall(commands.size()), cpu(commands.size());
  for (int r = 0; r < rounds; ++r) {
    for (size_t i = 0; i < commands.size(); ++i) {
      Times t = Time(commands[i]);
      wall[i].push_back(t.wall);
      cpu[i].push_back(t.cpu);
    }
  }
  std::vector<Times> medians;
  for (size_t i = 0; i < commands.size(); ++i) medians.push_back({Median(wall[i]), Median(cpu[i])});
  return medians;
}

void ShapeTexts(const host::Ptr<host::Shape>& s, std::vector<std::wstring>& out) {
  if (s->HasTable()) {
    auto t = s->Table();
    for (int r = 1; r <= t->Rows()->Count(); ++r)
      for (int c = 1; c <= t->Columns()->Count(); ++c) ShapeTexts(t->Cell(r, c)->Shape(), out);
  }
  if (s->Type() == host::msoGroup || s->HasSmartArt()) {
    auto items = s->GroupItems();
    for (int i = 1; i <= items->Count(); ++i) ShapeTexts(items->Item(i), out);
  }
  if (s->HasTextFrame() && s->TextFrame()->HasText()) out.push_back(s->TextFrame()->TextRange()->Text());
}

void CommentTexts(const host::Ptr<host::Comments>& cs, std::vector<std::wstring>& out) {
  for (int i = 1; i <= cs->Count(); ++i) {
    out.push_back(cs->Item(i)->Text());
    CommentTexts(cs->Item(i)->Replies(), out);
  }
}

// Every text of the deck, one paragraph a line, as a plain file for Apertium.
void ExtractText(const fs::path& deck, const fs::path& file) {
  auto app = host::pptx::CreateApplication();
  auto p = app->Presentations()->Open(platform::FromUtf8(deck.string()), true, false, false);
  std::vector<std::wstring> texts;
  for (int i = 1; i <= p->Slides()->Count(); ++i) {
    auto slide = p->Slides()->Item(i);
    for (int k = 1; k <= slide->Shapes()->Count(); ++k) ShapeTexts(slide->Shapes()->Item(k), texts);
    auto notes = slide->NotesPage()->Shapes();
    for (int k = 1; k <= notes->Count(); ++k) ShapeTexts(notes->Item(k), texts);
    CommentTexts(slide->Comments(), texts);
  }
  std::ofstream out(file, std::ios::binary);
  for (std::wstring t : texts) {
    for (wchar_t& c : t)
      if (c == L'\r' || c == L'\v') c = L'\n';
    out << platform::ToUtf8(t) << "\n";
  }
}

// N shapes of two paragraphs of three sentences, twenty to a slide.
fs::path MakeDeck(const fs::path& dir, int shapes) {
  decktest::Deck d;
  for (int i = 0; i < shapes; ++i) {
    if (i % 20 == 0) d.slides.emplace_back();
    std::string para = "<a:p><a:r><a:rPr lang=\"en-US\"/><a:t>The first sentence of shape " + std::to_string(i) +
                       " is short. A second one follows it. The third ends the paragraph.</a:t></a:r></a:p>";
    int id = 2 + i % 20;
    d.slides.back() += "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"S" + std::to_string(id) +
                       "\"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr><p:spPr>" +
                       decktest::Xfrm(0, 0, 2540000, 1270000) + "</p:spPr><p:txBody><a:bodyPr/><a:lstStyle/>" +
                       para + para + "</p:txBody></p:sp>";
  }
  auto file = dir / ("shapes" + std::to_string(shapes) + ".pptx");
  decktest::Write(d, file);
  return file;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path corpus = testsupport::CorpusDir();
  const fs::path deck = argc > 1 && *argv[1] ? fs::path(argv[1]) : corpus / "poi__customGeo.pptx";
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string prog = Quote(PELORANT_PROGRAM);
  testsupport::TempDir dir;
  // The runs keep their settings, engine cache and copies to themselves.
  setenv("PELORANT_REGISTRY", (dir.path() / "reg").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
  setenv("TMPDIR", dir.path().c_str(), 1);
  unsetenv("PELORANT_FAKE_ENGINE");

  ExtractText(deck, dir.path() / "text.txt");
  const std::string d = Quote(deck.string()), o = Quote((dir.path() / "out.pptx").string());
  // The same run with the bracket test engine, which costs next to nothing:
  // what the document's handling alone takes. It keeps settings of its own.
  const std::string fake = (dir.path() / "fake.txt").string();
  std::ofstream(fake) << "implementation\tTest\npair\ten-xx\ten\txx\t9\tEnglish - Test\tTest MT\tTest\n"
                         "transform\tbracket\n";
  const std::string testEngine = "PELORANT_FAKE_ENGINE=" + Quote(fake) + " PELORANT_REGISTRY=" +
                                 Quote((dir.path() / "reg-test").string()) + " XDG_CONFIG_HOME=" +
                                 Quote((dir.path() / "config-test").string()) + " ";
  const std::string apertiumRun = prog + " translate " + d + " -o " + o + " --mode Apertium:eng-spa -q";
  const std::string testRun = testEngine + prog + " translate " + d + " -o " + o + " --mode Test:en-xx -q";
  // One run first, so the engine cache exists and every timed run does the same work.
  Time(apertiumRun);
  Time(testRun);
  auto t = Measure({apertiumRun,
                    "apertium eng-spa " + Quote((dir.path() / "text.txt").string()) + " " +
                        Quote((dir.path() / "text.es.txt").string()),
                    "apertium -f pptx eng-spa " + d + " " + Quote((dir.path() / "apertium.pptx").string()), testRun},
                   rounds);
  std::printf("deck %s, medians of %d rounds                wall s    cpu s\n", deck.filename().c_str(), rounds);
  std::printf("  pelorant translate (Apertium:eng-spa)   %8.3f %8.3f\n", t[0].wall, t[0].cpu);
  std::printf("  apertium eng-spa over the text          %8.3f %8.3f   ratio %.2f wall, %.2f cpu (goal <= 1.3)\n",
              t[1].wall, t[1].cpu, t[0].wall / t[1].wall, t[0].cpu / t[1].cpu);
  std::printf("  apertium -f pptx eng-spa over the deck  %8.3f %8.3f   ratio %.2f wall, %.2f cpu (goal < 1)\n",
              t[2].wall, t[2].cpu, t[0].wall / t[2].wall, t[0].cpu / t[2].cpu);
  std::printf("  pelorant translate (bracket test engine)%8.3f %8.3f   the document's handling alone\n", t[3].wall,
              t[3].cpu);

  const int n = 100;
  setenv("PELORANT_FAKE_ENGINE", fake.c_str(), 1);
  // The engine list is kept (in the settings) from a run's first use: fresh
  // settings and registry see the test engine.
  setenv("PELORANT_REGISTRY", (dir.path() / "reg-test").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir.path() / "config-test").c_str(), 1);
  auto run = [&](int shapes) {
    return prog + " translate " + Quote(MakeDeck(dir.path(), shapes).string()) + " -o " + o + " --mode Test:en-xx -q";
  };
  auto e = Measure({run(n), run(4 * n)}, rounds);
  std::printf("editing with the bracket engine\n");
  std::printf("  %4d shapes %8.3f s\n  %4d shapes %8.3f s   ratio %.2f (linear is 4, goal <= 5)\n", n, e[0].wall,
              4 * n, e[1].wall, e[1].wall / e[0].wall);
  return 0;
}
