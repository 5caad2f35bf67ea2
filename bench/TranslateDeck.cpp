// The whole `pelorant translate` of a real deck with Apertium English to
// Spanish, side by side in one run with Apertium alone:
//   - over the deck's text extracted to a plain file (goal: 1.3 or less);
//   - over the deck with Apertium's own pptx format (goal: 0.8 or less,
//     although the run also translates notes, SmartArt, tables and comments);
// the document's own share: the same run with the bracket test engine, which
// costs next to nothing, against Apertium's batch (goal: 0.25 or less);
// the scale table: `show` and `translate` with the bracket engine over decks
// grown from corpus decks along one dimension at a time, at 1x and 4x (goal:
// 4x costs at most 4.4 times 1x); and the peak memory of `show` over a deck
// whose one slide holds a large text, against the uncompressed size of its
// XML parts (goal: at most 4 times that plus 64 MB), with `translate`'s
// beside it. Every time is the median of several rounds, taken in turns so
// that the machine's load falls on all of them alike; only the ratios mean
// anything. Processor time (of each command and all it started) is shown
// beside wall time.
//
//   translate_deck [DECK] [ROUNDS] [PARTS]
//     DECK: a path, or a corpus deck's name; default (or ""): the corpus
//     decks poi__customGeo, poi__stress013 and poi__keyframes (48, 23 and 28
//     slides: text-rich), then sc__031 and poi__stress022 (45 slides each,
//     whose document is large for their text: notes pages, SmartArt, tables
//     and media); ROUNDS: 5; PARTS: "deck,scale,memory"
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchTimes.h"
#include "bench/GrowDeck.h"
#include "tests/common/Paths.h"
#include "tests/common/TempDir.h"
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

// Wall time and processor time (of the command and everything it started),
// and the largest resident size of any process it ran.
struct Times {
  double wall = 0;
  double cpu = 0;
  double peakMb = 0;
};

// Times a shell command; exits when it fails, since a failed run would make
// a meaningless ratio. The shell execs the last command it runs, so the
// peak is that of the program itself.
Times Time(const std::string& command) {
  const std::string err = (std::filesystem::temp_directory_path() / "translate_deck.err").string();
  const std::string line = command + " >/dev/null 2>" + Quote(err);
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage u{};
  if (pid < 0 || wait4(pid, &status, 0, &u) != pid) {
    std::perror("translate_deck");
    std::exit(1);
  }
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
    std::system(("head -c 2000 " + Quote(err) + " >&2").c_str());
    std::exit(1);
  }
  return {s, bench::CpuSeconds(u), static_cast<double>(u.ru_maxrss) / 1024};
}

// Runs f in a child process. A process started from this one counts this
// one's resident size at the fork towards its own peak, so what would make
// the bench large (a deck of hundreds of megabytes grown in memory) is done
// apart.
void Apart(const std::function<void()>& f) {
  pid_t pid = fork();
  if (pid == 0) {
    try {
      f();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "translate_deck: %s\n", e.what());
      _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "translate_deck: a grown deck could not be made\n");
    std::exit(1);
  }
}

// Medians (wall and processor time apart) of commands run in turns, round
// after round.
std::vector<Times> Measure(const std::vector<std::string>& commands, int rounds) {
  std::vector<std::vector<double>> wall(commands.size()), cpu(commands.size()), peak(commands.size());
  for (int r = 0; r < rounds; ++r) {
    for (size_t i = 0; i < commands.size(); ++i) {
      Times t = Time(commands[i]);
      wall[i].push_back(t.wall);
      cpu[i].push_back(t.cpu);
      peak[i].push_back(t.peakMb);
    }
  }
  std::vector<Times> medians;
  for (size_t i = 0; i < commands.size(); ++i)
    medians.push_back({bench::Median(wall[i]), bench::Median(cpu[i]), bench::Median(peak[i])});
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

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line as it is measured
  const fs::path corpus = testsupport::CorpusDir();
  std::vector<fs::path> decks;
  if (argc > 1 && *argv[1]) {
    // A bare name is a corpus deck's.
    fs::path deck = argv[1];
    if (!fs::exists(deck) && !deck.has_parent_path()) deck = corpus / deck;
    if (!fs::is_regular_file(deck)) {
      std::fprintf(stderr, "translate_deck: no deck at %s\n", deck.c_str());
      return 1;
    }
    decks.push_back(deck);
  } else {
    for (const char* name : {"poi__customGeo.pptx", "poi__stress013.pptx", "poi__keyframes.pptx", "sc__031.pptx",
                             "poi__stress022.pptx"})
      decks.push_back(corpus / name);
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string parts = argc > 3 ? argv[3] : "deck,scale,memory";
  const std::string prog = Quote(PELORANT_PROGRAM);
  testsupport::TempDir dir;
  // The runs keep their settings, engine cache and copies to themselves.
  setenv("PELORANT_REGISTRY", (dir.path() / "reg").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
  setenv("TMPDIR", dir.path().c_str(), 1);
  unsetenv("PELORANT_FAKE_ENGINE");

  const std::string o = Quote((dir.path() / "out.pptx").string());
  // The same run with the bracket test engine, which costs next to nothing:
  // what the document's handling alone takes. It keeps settings of its own.
  const std::string fake = (dir.path() / "fake.txt").string();
  std::ofstream(fake) << "implementation\tTest\npair\ten-xx\ten\txx\t9\tEnglish - Test\tTest MT\tTest\n"
                         "transform\tbracket\n";
  const std::string testEngine = "PELORANT_FAKE_ENGINE=" + Quote(fake) + " PELORANT_REGISTRY=" +
                                 Quote((dir.path() / "reg-test").string()) + " XDG_CONFIG_HOME=" +
                                 Quote((dir.path() / "config-test").string()) + " ";
  auto testRun = [&](const std::string& deck) {
    return testEngine + prog + " translate " + deck + " -o " + o + " --mode Test:en-xx -q";
  };
  for (const fs::path& deck : decks) {
    if (parts.find("deck") == std::string::npos) break;
    const std::string d = Quote(deck.string());
    ExtractText(deck, dir.path() / "text.txt");
    const std::string apertiumRun = prog + " translate " + d + " -o " + o + " --mode Apertium:eng-spa -q";
    // One run first, so the engine cache exists and every timed run does the same work.
    Time(apertiumRun);
    Time(testRun(d));
    auto t = Measure({apertiumRun,
                      "apertium eng-spa " + Quote((dir.path() / "text.txt").string()) + " " +
                          Quote((dir.path() / "text.es.txt").string()),
                      "apertium -f pptx eng-spa " + d + " " + Quote((dir.path() / "apertium.pptx").string()),
                      testRun(d)},
                     rounds);
    std::printf("deck %s, medians of %d rounds                wall s    cpu s\n", deck.filename().c_str(), rounds);
    std::printf("  pelorant translate (Apertium:eng-spa)   %8.3f %8.3f\n", t[0].wall, t[0].cpu);
    std::printf("  apertium eng-spa over the text          %8.3f %8.3f   ratio %.2f wall, %.2f cpu (goal <= 1.3)\n",
                t[1].wall, t[1].cpu, t[0].wall / t[1].wall, t[0].cpu / t[1].cpu);
    std::printf("  apertium -f pptx eng-spa over the deck  %8.3f %8.3f   ratio %.2f wall, %.2f cpu (goal <= 0.8)\n",
                t[2].wall, t[2].cpu, t[0].wall / t[2].wall, t[0].cpu / t[2].cpu);
    std::printf("  pelorant translate (bracket test engine)%8.3f %8.3f   the document's handling alone\n", t[3].wall,
                t[3].cpu);
    std::printf("  document's share: bracket run / Apertium's batch  %.2f wall, %.2f cpu (goal <= 0.25)\n",
                t[3].wall / t[1].wall, t[3].cpu / t[1].cpu);
  }

  if (parts.find("scale") != std::string::npos) {
    // The scale table: one corpus deck with notes pages grown along each
    // dimension (and one with a table for its rows), with the test engine.
    std::printf("scale, bracket engine, medians of %d rounds      1x s     4x s    ratio (linear is 4, goal <= 4.4)\n",
                rounds);
    for (const growdeck::Dimension& dim : growdeck::Dimensions()) {
      const fs::path from =
          corpus / (std::string(dim.name) == "rows per table" ? "poi__with_japanese.pptx" : "poi__45545_Comment.pptx");
      std::vector<std::string> runs;
      auto grown = [&](int k) { return dir.path() / (std::to_string(k) + "x-" + dim.name + ".pptx"); };
      for (int k : {1, 4}) Apart([&] { growdeck::Grow(from, dim, k * dim.base, grown(k)); });
      for (const char* command : {"show", "translate"})
        for (int k : {1, 4}) {
          const std::string in = Quote(grown(k).string());
          runs.push_back(command == std::string("show") ? testEngine + prog + " show --json " + in : testRun(in));
        }
      auto r = Measure(runs, rounds);
      for (int c = 0; c < 2; ++c)
        std::printf("  %-26s %4d -> %5d %-9s %8.3f %8.3f   %.2f\n", dim.name, dim.base, 4 * dim.base,
                    c ? "translate" : "show", r[2 * c].wall, r[2 * c + 1].wall, r[2 * c + 1].wall / r[2 * c].wall);
    }
  }

  if (parts.find("memory") != std::string::npos) {
    const fs::path big = dir.path() / "big-text.pptx";
    Apart([&] { growdeck::GrowText(corpus / "poi__45545_Comment.pptx", 64u << 20, big); });
    const double xmlMb = static_cast<double>(growdeck::XmlPartsSize(big)) / (1 << 20);
    auto m = Measure({prog + " show --json " + Quote(big.string())}, std::min(rounds, 3));
    std::printf("memory: show over a slide of %.0f MB text (XML parts %.1f MB uncompressed, deck %.1f MB)\n", 64.0,
                xmlMb, static_cast<double>(fs::file_size(big)) / (1 << 20));
    std::printf("  peak %.0f MB = %.2f x the parts + %.0f MB (goal <= 4 x + 64 MB); %.2f s\n", m[0].peakMb,
                (m[0].peakMb - 64) / xmlMb, 64.0, m[0].wall);
    // translate with the bracket engine over a corpus deck and over a text
    // deck small enough for the run's time. Its output can be far larger
    // than what it read (the engine's word styles split runs), so the
    // peak is shown against the parts written as well.
    const fs::path small = dir.path() / "small-text.pptx";
    Apart([&] { growdeck::GrowText(corpus / "poi__45545_Comment.pptx", 64u << 10, small); });
    for (const fs::path& deck : {corpus / "poi__customGeo.pptx", small}) {
      auto t = Measure({testRun(Quote(deck.string()))}, std::min(rounds, 3));
      const double read = static_cast<double>(growdeck::XmlPartsSize(deck)) / (1 << 20);
      const double written = static_cast<double>(growdeck::XmlPartsSize(dir.path() / "out.pptx")) / (1 << 20);
      std::printf("memory: translate %s (XML parts %.1f MB read, %.1f MB written)\n", deck.filename().c_str(), read,
                  written);
      std::printf("  peak %.0f MB; 4 x the parts read + 64 MB is %.0f MB, 4 x the parts written + 64 MB %.0f MB;"
                  " %.2f s\n", t[0].peakMb, 4 * read + 64, 4 * written + 64, t[0].wall);
    }
  }
  return 0;
}
