// `pelorant translate`: PowerPoint's part in a translation run. The deck is
// opened as the active presentation in a normal-view window, the view and
// the selection are set up as a user would set them, the add-in's facade
// runs the command, and the result is saved where the user said.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

#include "apps/pelorant/AddinSession.h"
#include "apps/pelorant/Arguments.h"
#include "apps/pelorant/Command.h"
#include "apps/pelorant/Json.h"
#include "apps/pelorant/ShellMacro.h"
#include "apps/pelorant/TranslationMode.h"
#include "src/addin/AddinApplication.h"
#include "src/dialogs/CDialogProgress.h"
#include "src/engine/AppCommon.h"
#include "src/host/Host.h"
#include "src/host/pptx/FontMetrics.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/options/Glossary.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/powerpoint/RunText.h"
#include "src/support/ErrorList.h"
#include "src/support/ResourceModule.h"

namespace {

namespace fs = std::filesystem;
using platform::FromUtf8;
using platform::ToUtf8;

const char* const kUsage =
    "Usage: pelorant translate DECK -o OUT [OPTIONS]\n"
    "       pelorant translate DECK --in-place [OPTIONS]\n"
    "\n"
    "Translates a presentation (.pptx, .pptm, .ppsx) the way the add-in does in\n"
    "PowerPoint: DECK is opened in a normal-view window, the slides, shapes or\n"
    "characters named below are shown and selected, and the add-in translates all\n"
    "slides, the current slide or the selection: shapes, tables, groups, SmartArt,\n"
    "WordArt, notes pages and comments. DECK itself is never changed unless\n"
    "--in-place is given.\n"
    "\n"
    "Four more kinds of text are translated while their flag in the option set is\n"
    "True, as it is by default:\n"
    "  TranslatesCharts    chart and axis titles, data labels and series names a\n"
    "                      user typed, shapes drawn over charts (text a chart\n"
    "                      reads from its data stays, counted as left)\n"
    "  TranslatesAltText   the alternative text and title of shapes and pictures\n"
    "  TranslatesLinkTips  the screen tips of links, on text and on whole shapes\n"
    "  TranslatesMasters   text that slide masters and layouts show on the slides\n"
    "                      (a footer, a notice; not the prompts of placeholders)\n"
    "To leave one kind as it is, switch its flag off in the option set the run\n"
    "uses, for example: pelorant options set default TranslatesAltText=False\n"
    "\n"
    "With the option set's OutputDestType 1 (output in a new window, the default)\n"
    "the translation copy is saved to OUT; with 0 (overwrite the original) the\n"
    "translated original is saved to OUT. Files are written whole or not at all.\n"
    "\n"
    "  -o, --output OUT    where the result goes (not DECK itself)\n"
    "  --in-place          write the result over DECK instead (only when the run\n"
    "                      succeeds; DECK is left as it was otherwise)\n"
    "  --mode KEY          the translation mode: an engine pair's key as `pelorant\n"
    "                      engines list` shows it, for example Apertium:eng-spa.\n"
    "                      Default: the mode the add-in's menu remembers, else the\n"
    "                      first checked pair.\n"
    "  --options NAME      the option set (`pelorant options list`); default: the\n"
    "                      selected one\n"
    "  --glossary FILE     terms to keep or fix, instead of the option set's own\n"
    "                      glossary: UTF-8 lines SOURCE<TAB>TARGET (TARGET empty\n"
    "                      keeps SOURCE as it is), # comments\n"
    "  --slide N           show slide N and translate only it (\"current slide\")\n"
    "  --shape NAME        with --slide: select that shape (repeat for more) and\n"
    "                      translate only the selection\n"
    "  --text START:LENGTH with one --shape: select LENGTH characters from\n"
    "                      character START (counting from 1) and translate them\n"
    "  --notes             the --shape is on the slide's notes page\n"
    "  --host-version N    the PowerPoint version to play, 11 to 16 (default 16)\n"
    "  --macro NAME=CMD    let the option set's pre- or post-translation macro NAME\n"
    "                      run the shell command CMD (repeatable)\n"
    "  -q, --quiet         no progress line and no summary; Ctrl-C then cancels\n"
    "                      without asking\n"
    "  --json              print the run's summary as JSON on standard output\n"
    "\n"
    "While it runs, a progress line is shown on stderr when that is a terminal;\n"
    "Ctrl-C asks whether to stop. At the end a summary (slides, shapes, segments\n"
    "translated and left, time) goes to stderr. When the run stops early or some\n"
    "text could not be translated, what was translated is still written to OUT.\n"
    "\n"
    "Exit status: 0 translated and written; 1 the deck could not be opened, the\n"
    "run failed, was cancelled or reported an error (the messages are on stderr);\n"
    "2 bad arguments, unknown mode, option set, slide, shape or characters.\n"
    "\n"
    "Example: pelorant translate talk.pptx -o talk.es.pptx --mode Apertium:eng-spa\n";

struct Request {
  std::string deck;
  std::string out;
  std::string mode;
  std::optional<std::string> optionSet;
  std::string glossary;  // absolute; empty: the option set's own
  int slide = 0;  // 0: all slides
  std::vector<std::string> shapes;
  bool hasText = false;
  int textStart = 0;
  int textLength = 0;
  bool notes = false;
  bool inPlace = false;
  bool quiet = false;
  bool json = false;
  int hostVersion = 16;
  host::pptx::ApplicationOptions hostOptions;
};

bool ParseInt(const std::string& text, int* value) {
  if (text.empty() || text.size() > 9) return false;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
  *value = std::stoi(text);
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  return fs::weakly_canonical(fs::absolute(a), ec) == fs::weakly_canonical(fs::absolute(b), ec);
}

// The arguments, checked as far as they can be without the deck. False with
// the reason in *error.
bool Parse(const std::vector<std::string>& args, Request* r, std::string* error) {
  app::Arguments cli;
  std::string optionSet, glossary, slide, text, hostVersion;
  CLI::Option* out = cli.Value("-o,--output", &r->out);
  cli.Value("--mode", &r->mode);
  CLI::Option* options = cli.Value("--options", &optionSet);
  CLI::Option* glossaryGiven = cli.Value("--glossary", &glossary);
  CLI::Option* slideGiven = cli.Value("--slide", &slide);
  CLI::Option* shapes = cli.Values("--shape");
  CLI::Option* textGiven = cli.Value("--text", &text);
  CLI::Option* hostVersionGiven = cli.Value("--host-version", &hostVersion);
  CLI::Option* macros = cli.Values("--macro");
  cli.Flag("--notes", &r->notes);
  cli.Flag("--in-place", &r->inPlace);
  cli.Flag("-q,--quiet", &r->quiet);
  cli.Flag("--json", &r->json);
  if (!cli.Parse(args, error)) return false;
  const bool haveOut = out->count() > 0;
  if (options->count() > 0) r->optionSet = optionSet;
  if (glossaryGiven->count() > 0) {
    if (glossary.empty()) {
      *error = "--glossary needs a file name";
      return false;
    }
    r->glossary = fs::absolute(glossary).string();
  }
  if (slideGiven->count() > 0 && (!ParseInt(slide, &r->slide) || r->slide < 1)) {
    *error = "--slide needs a slide number from 1 on, not '" + slide + "'";
    return false;
  }
  for (const std::string& shape : shapes->results()) {
    if (shape.empty()) {
      *error = "--shape needs a shape name";
      return false;
    }
    r->shapes.push_back(shape);
  }
  if (textGiven->count() > 0) {
    auto colon = text.find(':');
    if (colon == std::string::npos || !ParseInt(text.substr(0, colon), &r->textStart) ||
        !ParseInt(text.substr(colon + 1), &r->textLength) || r->textStart < 1 || r->textLength < 1) {
      *error = "--text needs START:LENGTH, both whole numbers from 1 on, not '" + text + "'";
      return false;
    }
    r->hasText = true;
  }
  if (hostVersionGiven->count() > 0 &&
      (!ParseInt(hostVersion, &r->hostVersion) || r->hostVersion < 11 || r->hostVersion > 16)) {
    *error = "--host-version is a PowerPoint version from 11 to 16, not '" + hostVersion + "'";
    return false;
  }
  for (const std::string& macro : macros->results()) {
    std::string why;
    if (!app::AddMacroOption(r->hostOptions, macro, why)) {
      *error = "--macro " + macro + ": " + why;
      return false;
    }
  }
  const std::vector<std::string>& positional = cli.Words();
  if (positional.empty()) {
    *error = "which deck?";
    return false;
  }
  if (positional.size() > 1) {
    *error = "one deck at a time (OUT goes after -o)";
    return false;
  }
  r->deck = positional[0];
  if (!haveOut && !r->inPlace) {
    *error = "where should the result go? Give -o OUT, or --in-place to write over DECK";
    return false;
  }
  if (haveOut && r->out.empty()) {
    *error = "-o needs a file name";
    return false;
  }
  if (haveOut && SameFile(r->out, r->deck)) {
    if (!r->inPlace) {
      *error = "OUT is DECK itself; give another OUT, or --in-place to write over DECK";
      return false;
    }
  } else if (haveOut && r->inPlace) {
    *error = "--in-place writes over DECK; leave out -o, or leave out --in-place";
    return false;
  }
  if (r->inPlace) r->out = r->deck;
  if (!r->shapes.empty() && r->slide == 0) {
    *error = "--shape needs --slide N, the slide the shape is on";
    return false;
  }
  if (r->hasText && r->shapes.size() != 1) {
    *error = "--text needs exactly one --shape";
    return false;
  }
  if (r->notes && r->shapes.empty()) {
    *error = "--notes needs --slide N and --shape NAME, a shape of that notes page";
    return false;
  }
  fs::path folder = fs::absolute(r->out).parent_path();
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    *error = "the folder of OUT, " + folder.string() + ", does not exist";
    return false;
  }
  if (fs::is_directory(r->out, ec)) {
    *error = "OUT, " + r->out + ", is a folder; give a file name";
    return false;
  }
  // The result is written beside OUT and renamed into place; finding out
  // that this cannot be done only after the whole run would lose the run.
  std::string probe = (folder / ".pelorant-write-XXXXXX").string();
  const int fd = mkstemp(probe.data());
  if (fd < 0) {
    *error = "the folder of OUT, " + folder.string() + ", cannot be written: " + std::strerror(errno);
    return false;
  }
  close(fd);
  unlink(probe.c_str());
  if (!r->glossary.empty()) {
    const options::GlossaryRead glossary = options::ReadGlossary(FromUtf8(r->glossary));
    if (!glossary.ok) {
      *error = "--glossary " + ToUtf8(glossary.failure);
      return false;
    }
  }
  r->hostOptions.version = std::to_wstring(r->hostVersion) + L".0";
  return true;
}

// The save format that keeps the deck's own kind of package (macros, slide
// show) unless OUT's extension asks for another kind.
int OutputFormat(const Request& r, const host::Ptr<host::Presentation>& deck) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  const std::string outExt = lower(fs::path(r.out).extension().string());
  if (outExt != lower(fs::path(r.deck).extension().string())) {
    if (outExt == ".pptx") return host::ppSaveAsOpenXMLPresentation;
    if (outExt == ".pptm") return host::ppSaveAsOpenXMLPresentationMacroEnabled;
    if (outExt == ".ppsx") return host::ppSaveAsOpenXMLShow;
    if (outExt == ".potx") return host::ppSaveAsOpenXMLTemplate;
    if (outExt == ".potm") return host::ppSaveAsOpenXMLTemplateMacroEnabled;
  }
  try {
    const std::string type = host::pptx::MainContentType(deck);
    if (type == "application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml")
      return host::ppSaveAsOpenXMLPresentation;
    if (type == "application/vnd.ms-powerpoint.presentation.macroEnabled.main+xml")
      return host::ppSaveAsOpenXMLPresentationMacroEnabled;
    if (type == "application/vnd.openxmlformats-officedocument.presentationml.slideshow.main+xml")
      return host::ppSaveAsOpenXMLShow;
    if (type == "application/vnd.openxmlformats-officedocument.presentationml.template.main+xml")
      return host::ppSaveAsOpenXMLTemplate;
    if (type == "application/vnd.ms-powerpoint.template.macroEnabled.main+xml")
      return host::ppSaveAsOpenXMLTemplateMacroEnabled;
  } catch (const platform::ComError&) {
  }
  return host::ppSaveAsDefault;
}

// Without the progress line nothing asks the cancel question, so Ctrl-C
// cancels at once; the run then still ends through its own cleanup and
// leaves no temporary copies behind.
std::atomic<int> gInterrupted{0};
void OnInterrupt(int) { gInterrupted = 1; }

class InterruptCancels {
 public:
  InterruptCancels() {
    gInterrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    mInstalled = sigaction(SIGINT, &action, &mOld) == 0;
    // The engine is cancelled from an ordinary thread: a signal handler
    // may not take the engine's locks.
    // It looks every 50 ms, and ends at once when the run does.
    mWatcher = std::jthread([](std::stop_token stop) {
      std::mutex mutex;
      std::condition_variable_any wake;
      std::unique_lock<std::mutex> lock(mutex);
      while (!stop.stop_requested()) {
        if (gInterrupted.exchange(0)) engine::AppCommon::Instance().SetCancel(true);
        wake.wait_for(lock, stop, std::chrono::milliseconds(50), [] { return false; });
      }
    });
  }
  ~InterruptCancels() {
    mWatcher.request_stop();
    mWatcher.join();
    if (mInstalled) sigaction(SIGINT, &mOld, nullptr);
  }
  InterruptCancels(const InterruptCancels&) = delete;
  InterruptCancels& operator=(const InterruptCancels&) = delete;

 private:
  struct sigaction mOld {};
  bool mInstalled = false;
  std::jthread mWatcher;
};

enum class Range { All, Slide, Selection };

const char* RangeName(Range range) {
  switch (range) {
    case Range::All: return "all";
    case Range::Slide: return "slide";
    case Range::Selection: return "selection";
  }
  return "";
}

// What the command prints at the end.
struct Summary {
  std::string deck, out, mode, optionSet;
  Range range = Range::All;
  int outputDestType = 1;
  bool written = false;
  bool success = false;
  bool cancelled = false;
  powerpoint::RunStatistics stats;
  powerpoint::RunErrors errors;
  double seconds = 0;
  int exitStatus = 1;
};

std::string Count(int n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); }

void PrintSummary(const Summary& s, std::ostream& err) {
  const auto& st = s.stats;
  err << "pelorant translate: " << Count(st.slides, "slide") << ", " << Count(st.shapes, "shape") << ", "
      << Count(st.segmentsTranslated, "segment") << " translated";
  if (st.comments > 0) err << ", " << Count(st.comments, "comment");
  int left = 0;
  for (const auto& [why, n] : st.segmentsLeft) left += n;
  if (left > 0) {
    err << "; " << left << " left (";
    bool first = true;
    for (const auto& [why, n] : st.segmentsLeft) {
      err << (first ? "" : ", ") << ToUtf8(why) << ": " << n;
      first = false;
    }
    err << ")";
  }
  char time[32];
  std::snprintf(time, sizeof time, "%.1f", s.seconds);
  err << "; " << time << " s\n";
  for (const auto& e : s.errors)
    if (e.where.slide > 0)
      err << "pelorant translate: stopped at " << ToUtf8(powerpoint::DescribePlace(e.where)) << ": " << ToUtf8(e.text)
          << "\n";
  if (!st.overflowing.empty()) {
    err << "pelorant translate: " << Count(static_cast<int>(st.overflowing.size()), "shape")
        << " still too large for " << (st.overflowing.size() == 1 ? "its box" : "their boxes") << ":\n";
    for (const auto& o : st.overflowing) {
      std::snprintf(time, sizeof time, "%.1f", o.over);
      err << "  " << ToUtf8(powerpoint::DescribePlace(o.where)) << ": " << time << " pt over\n";
    }
  }
  if (s.written) {
    err << "pelorant translate: " << (s.exitStatus == 0 ? "written to " : "what was translated is written to ")
        << s.out << "\n";
  } else {
    err << "pelorant translate: nothing was written" << (s.out == s.deck ? "; " + s.deck + " is unchanged" : "")
        << "\n";
  }
}

// Fractions as the summary shows them, to `digits` decimals.
double Rounded(double value, int digits) {
  const double scale = std::pow(10.0, digits);
  return std::round(value * scale) / scale;
}

void PrintJson(const Summary& s, std::ostream& out) {
  const auto& st = s.stats;
  app::JsonValue left = app::JsonValue::object();
  for (const auto& [why, n] : st.segmentsLeft) left[ToUtf8(why)] = n;
  auto place = [](app::JsonValue& item, const powerpoint::RunPlace& where) {
    item["slide"] = where.slide;
    item["notes"] = where.notes;
    item["shape"] = ToUtf8(where.shape);
  };
  app::JsonValue overflowing = app::JsonValue::array();
  for (const auto& o : st.overflowing) {
    app::JsonValue item{{"over", Rounded(o.over, 2)}};
    place(item, o.where);
    overflowing.push_back(std::move(item));
  }
  app::JsonValue errors = app::JsonValue::array();
  for (const auto& e : s.errors) {
    app::JsonValue item{{"id", e.id}, {"text", ToUtf8(e.text)}};
    if (e.where.slide > 0) place(item, e.where);
    errors.push_back(std::move(item));
  }
  const app::JsonValue summary{{"deck", s.deck},
                               {"output", s.out},
                               {"written", s.written},
                               {"mode", s.mode},
                               {"optionSet", s.optionSet},
                               {"range", RangeName(s.range)},
                               {"outputDestType", s.outputDestType},
                               {"success", s.success},
                               {"cancelled", s.cancelled},
                               {"slides", st.slides},
                               {"shapes", st.shapes},
                               {"segmentsTranslated", st.segmentsTranslated},
                               {"comments", st.comments},
                               {"segmentsLeft", std::move(left)},
                               {"overflowing", std::move(overflowing)},
                               {"errors", std::move(errors)},
                               {"seconds", Rounded(s.seconds, 3)},
                               {"exitStatus", s.exitStatus}};
  out << app::JsonText(summary) << "\n";
}

class Translation {
 public:
  Translation(Request request, app::CommandIo& io) : mRequest(std::move(request)), mIo(io), mSession("translate", io) {}
  ~Translation();
  int Run();

 private:
  int Usage(const std::string& message) {
    mIo.err << "pelorant translate: " << message << " (see pelorant translate --help)\n";
    return 2;
  }
  int Fail(const std::string& message) {
    mIo.err << "pelorant translate: " << message << "\n";
    return 1;
  }
  // Shows and selects what the request names; a usage error's status, or 0.
  int SetUpView(Range* range);
  bool Save(const host::Ptr<host::Presentation>& result, int format);

  Request mRequest;
  app::CommandIo& mIo;
  app::AddinSession mSession;
  host::Ptr<host::Application> mApplication;
  host::Ptr<host::Presentation> mDeck;
  host::Ptr<host::Presentation> mTranslation;
};

Translation::~Translation() {
  // Whatever happened, the run's copies are closed and their files deleted.
  for (auto* p : {&mTranslation, &mDeck}) {
    if (!*p) continue;
    try {
      (*p)->Close();
    } catch (const std::exception&) {
    }
  }
  dialogs::WaitForProgressDialogThread();
  powerpoint::PowerPointTranslationProcess::Instance().DeleteTemporaryCopies();
}

int Translation::SetUpView(Range* range) {
  *range = Range::All;
  if (mRequest.slide == 0) return 0;
  const int count = mDeck->Slides()->Count();
  if (mRequest.slide > count) {
    return Usage("there is no slide " + std::to_string(mRequest.slide) + "; " + mRequest.deck + " has " +
                 std::to_string(count) + (count == 1 ? " slide" : " slides"));
  }
  host::Ptr<host::DocumentWindow> window = mDeck->Windows()->Item(1);
  if (mRequest.notes) window->SetViewType(host::ppViewNotesPage);
  window->View()->GotoSlide(mRequest.slide);
  // In normal view "current slide" is the slide pane's slide.
  if (!mRequest.notes) window->Panes()->Item(2)->Activate();
  *range = Range::Slide;
  if (mRequest.shapes.empty()) return 0;

  host::Ptr<host::Slide> slide = mDeck->Slides()->Item(mRequest.slide);
  host::Ptr<host::Shapes> shapes = mRequest.notes ? slide->NotesPage()->Shapes() : slide->Shapes();
  std::vector<std::wstring> names;
  std::vector<std::wstring> present;
  for (int i = 1; i <= shapes->Count(); ++i) present.push_back(shapes->Item(i)->Name());
  for (const std::string& name : mRequest.shapes) {
    std::wstring wide = FromUtf8(name);
    if (std::find(present.begin(), present.end(), wide) == present.end()) {
      std::string list;
      for (const auto& p : present) list += "\n  " + ToUtf8(p);
      mIo.err << "pelorant translate: there is no shape '" << name << "' on "
             << (mRequest.notes ? "the notes page of " : "") << "slide " << mRequest.slide
             << (present.empty() ? "; it has no shapes" : "; its shapes are:") << list << "\n";
      return 2;
    }
    names.push_back(wide);
  }
  *range = Range::Selection;
  if (!mRequest.hasText) {
    shapes->Range(names)->Select();
    return 0;
  }
  host::Ptr<host::Shape> shape = shapes->Item(names[0]);
  const int length = shape->HasTextFrame() ? shape->TextFrame()->TextRange()->Length() : 0;
  if (length == 0) return Usage("shape '" + mRequest.shapes[0] + "' has no text");
  if (mRequest.textStart + mRequest.textLength - 1 > length) {
    return Usage("--text " + std::to_string(mRequest.textStart) + ":" + std::to_string(mRequest.textLength) +
                 " goes past the " + std::to_string(length) + " characters of shape '" + mRequest.shapes[0] + "'");
  }
  shape->TextFrame()->TextRange()->Characters(mRequest.textStart, mRequest.textLength)->Select();
  return 0;
}

bool Translation::Save(const host::Ptr<host::Presentation>& result, int format) {
  try {
    if (mRequest.inPlace && result == mDeck) {
      mDeck->Save();
    } else {
      result->SaveCopyAs(FromUtf8(mRequest.out), format, /*embedTrueTypeFonts=*/false);
    }
    return true;
  } catch (const platform::ComError& e) {
    mIo.err << "pelorant translate: " << mRequest.out << " could not be written: " << ToUtf8(e.Description()) << "\n";
    return false;
  }
}

int Translation::Run() {
  const auto started = std::chrono::steady_clock::now();
  support::ErrorList::SetDisplay(true);
  support::ErrorList::Clear();

  // PowerPoint starts with the add-in; the user picks the mode and the
  // option set in its toolbar lists, then clicks the command.
  if (!mSession.Start(mRequest.hostOptions, mRequest.quiet ? 0 : 1, 0)) return 1;
  mApplication = mSession.Application();
  addin::AddinApplication& facade = mSession.Main().Facade();
  engine::EngineCaches& caches = facade.GetEngineCaches();
  if (int status = mSession.ChooseMode(mRequest.mode)) return status;
  const std::wstring modeKey = mSession.Menu().SelectedMode();
  if (!caches.SaveCache(true, false)) {
    mIo.err << "pelorant translate: note: the engine cache could not be saved: " << ToUtf8(caches.LastFailure())
           << "\n";
  }
  options::TranslationOptions& sets = facade.GetTranslationOptions();
  if (mRequest.optionSet) {
    if (int status = mSession.ChooseOptionSet(*mRequest.optionSet)) return status;
  }
  const std::wstring setName = mRequest.optionSet ? FromUtf8(*mRequest.optionSet) : sets.SelectedName();
  // For this run only: the option sets are not saved by a translation.
  if (!mRequest.glossary.empty()) {
    if (options::TranslationOption* set = sets.Find(setName)) set->SetGlossary(FromUtf8(mRequest.glossary));
  }
  options::TranslationOptionUDT record;
  // The option set's own glossary is checked before the deck is opened; the
  // message says what is wrong with it.
  if (!facade.fncPrepareForUseAppModule(modeKey, setName, record, /*translates=*/true)) {
    return Fail("nothing was translated; " + mRequest.deck + " is unchanged");
  }

  try {
    mDeck = mApplication->Presentations()->Open(FromUtf8(mRequest.deck), /*readOnly=*/false, /*untitled=*/false,
                                              /*withWindow=*/true);
  } catch (const platform::ComError& e) {
    return Fail(ToUtf8(platform::ExceptionText(e)));
  }
  // Fitting the translations measures text: the fonts are read while the
  // deck is walked.
  host::pptx::FontMetrics::Instance().Prepare();
  Range range = Range::All;
  try {
    if (int status = SetUpView(&range)) return status;
  } catch (const platform::ComError& e) {
    return Fail("the view could not be set up: " + ToUtf8(e.Description()));
  }
  const int format = OutputFormat(mRequest, mDeck);

  {
    std::optional<InterruptCancels> interrupt;
    if (mRequest.quiet) interrupt.emplace();
    const wchar_t* button = range == Range::All     ? L".BUTTON.TRAN-ALL"
                            : range == Range::Slide ? L".BUTTON.TRAN-SHEET"
                                                    : L".BUTTON.TRAN-SELECT";
    if (!mSession.Click(button)) return 1;
  }
  const powerpoint::RunOutcome& outcome = powerpoint::PowerPointTranslationProcess::Instance().LastRun();
  mTranslation = outcome.translation == mDeck ? nullptr : outcome.translation;

  Summary s;
  s.deck = mRequest.deck;
  s.out = mRequest.out;
  s.mode = ToUtf8(modeKey);
  s.optionSet = ToUtf8(setName);
  s.range = range;
  s.outputDestType = record.OutputDestType;
  s.success = outcome.success;
  s.cancelled = outcome.cancelled;
  s.stats = outcome.stats;
  s.errors = outcome.errors;
  // A chart's text read from its data, and a chart of a kind not read, are
  // left on purpose; the summary counts them, but the run is whole.
  int left = 0;
  for (const auto& [why, n] : outcome.stats.segmentsLeft)
    if (why != powerpoint::kLeftLinked && why != powerpoint::kLeftChartUnread) left += n;
  // Text the engine could not translate stays as it was; the user learns why
  // from the engine's own message.
  engine::Engine& eng = engine::AppCommon::Instance().GetEngine();
  if (left > 0 && eng.LastErrorCode() != 0) {
    mIo.err << "pelorant translate: "
            << ToUtf8(support::LoadText(support::ErrorList::EngineErrorToMessageId(eng.LastErrorCode()))) << "\n";
  }
  const bool clean = outcome.success && !outcome.cancelled && outcome.errors.empty() && left == 0;
  host::Ptr<host::Presentation> result = record.OutputDestType == 1 ? mTranslation : mDeck;
  // A deck is only overwritten by a whole translation; a separate OUT also
  // takes what a failed or cancelled run translated.
  if (result && (clean || (!mRequest.inPlace && outcome.stats.segmentsTranslated > 0)))
    s.written = Save(result, format);
  if (outcome.cancelled) mIo.err << "pelorant translate: the translation was cancelled\n";
  s.exitStatus = clean && s.written ? 0 : 1;
  s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (mRequest.json) {
    PrintJson(s, mIo.out);
  } else if (!mRequest.quiet) {
    PrintSummary(s, mIo.err);
  }
  return s.exitStatus;
}

int RunCommand(const std::vector<std::string>& args, app::CommandIo& io) {
  Request r;
  std::string error;
  if (!Parse(args, &r, &error)) {
    io.err << "pelorant translate: " << error << " (see pelorant translate --help)\n";
    return 2;
  }
  return Translation(std::move(r), io).Run();
}

app::CommandRegistration translate{
    {"translate", "translate a deck's slides, notes and comments into a new deck", kUsage, RunCommand}};

}  // namespace
