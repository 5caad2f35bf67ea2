// The Apertium engine over the real pipelines of apertium-eng-spa: run as one
// pipeline of processes, or stage by stage in process (how a mode is read,
// the wordbound blank stages, and the answers against the process pipeline).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <thread>

#include "bench/BenchSentences.h"
#include "engines/apertium/ApertiumFormat.h"
#include "engines/apertium/ApertiumServer.h"
#include "engines/apertium/InProcess.h"
#include "engines/apertium/Pipeline.h"
#include "src/engine/server/EngineClasses.h"
#include "src/platform/Strings.h"
#include "tests/apertium/EngineAsk.h"
#include "tests/common/EngineOpen.h"
#include "tests/common/TempDir.h"
#include "tests/platform/TestSupport.h"

using namespace engine_server;
using apertium::ApertiumEngine;
using apertium::FindPairs;
using apertium::ParseCommand;
using apertium::Settings;

namespace {

using testsupport::Answer;

void Fail(const std::string& what) { ADD_FAILURE() << what; }

LONG Wait(IRequest& r, LONG limitMs = 120000) { return testsupport::WaitOrCancel(r, limitMs, Fail); }

Answer Ask(ITranslationEngine& engine, const std::wstring& text, LONG mode = kTranslateModePlain) {
  return testsupport::Ask(engine, text, mode, Fail);
}

// The translation of a request that must succeed.
std::wstring Translate(ITranslationEngine& engine, const std::wstring& text, LONG mode = kTranslateModePlain) {
  Answer a = Ask(engine, text, mode);
  EXPECT_EQ(kRequestDone, a.status) << platform::ToUtf8(text);
  return a.text;
}

// Looks `word` up: the request's status and code, and the entry's text.
Answer LookUp(ITranslationEngine& engine, const std::wstring& word) {
  Answer a;
  std::shared_ptr<IDictionaryResult> result;
  EXPECT_EQ(S_OK, engine.LookupDictionary(word, &result));
  a.status = Wait(engine);
  engine.ErrorCode(&a.error);
  if (a.status == kRequestDone) result->Text(&a.text);
  return a;
}

bool Contains(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

// The stages in process, or as one pipeline of processes.
apertium::Settings Runner(bool inProcess) {
  apertium::Settings s = apertium::Settings::FromEnvironment();
  s.inProcess = inProcess;
  return s;
}

apertium::ApertiumPair PairNamed(const std::wstring& id,
                                 const std::vector<std::string>& modeDirs = Runner(true).modeDirs) {
  for (auto& p : apertium::FindPairs(modeDirs)) {
    if (p.id == id) return p;
  }
  ADD_FAILURE() << "no pair " << platform::ToUtf8(id);
  return {};
}

int LinesWith(const std::filesystem::path& log, const std::string& part) {
  std::ifstream in(log);
  int n = 0;
  for (std::string line; std::getline(in, line);) n += line.find(part) != std::string::npos ? 1 : 0;
  return n;
}

TEST(ApertiumPairsTest, InstalledDirectionsAreListedWithTheAddinsCodes) {
  auto entry = apertium::ListEntry(PairNamed(L"eng-spa"));
  EXPECT_EQ(std::pair(std::wstring(L"en>es English - Spanish|Apertium"), kPairFlagTranslate | kPairFlagDictionary),
            std::pair(entry.fromLang + L">" + entry.toLang + L" " + entry.displayName + L"|" + entry.productName,
                      entry.flags));
  EXPECT_EQ(L"es", apertium::ListEntry(PairNamed(L"spa-eng")).fromLang);
  EXPECT_TRUE(FindPairs({::testing::TempDir() + "no-such-folder"}).empty());
}

// One pipeline of processes answers request after request; one killed while
// idle is replaced without failing (a cancelled one is gone: the broken and
// scripted pipelines' tests).
TEST(ApertiumEngineTest, TheProcessPipelineServesEachRequestUntilKilled) {
  ApertiumEngine engine(PairNamed(L"eng-spa"), Runner(false));
  EXPECT_EQ(L"El perro es grande.  Corre r\u00e1pidamente.", Translate(engine, L"The dog is big. It runs fast."));
  pid_t pid = engine.PipelineProcessId();
  ASSERT_GT(pid, 0);
  EXPECT_EQ(L"D\u00f3nde es el [grande] <casa>?", Translate(engine, L"Where is the [big] <house>?"));
  EXPECT_EQ(L"", Translate(engine, L""));
  // The pipeline's multiword output starts with a blank the source lacks.
  EXPECT_EQ(L"Es un hechobiensabido .", Translate(engine, L"It's a well-known fact."));
  EXPECT_EQ(pid, engine.PipelineProcessId());
  ASSERT_EQ(0, kill(-pid, SIGKILL));
  EXPECT_TRUE(Contains(Translate(engine, L"The cat is black."), L"gato"));
  EXPECT_NE(pid, engine.PipelineProcessId());
}

TEST(ApertiumEngineTest, LineEndsAndSpanishToEnglish) {
  ApertiumEngine engine(PairNamed(L"spa-eng"), Settings::FromEnvironment());
  EXPECT_EQ(L"The dog is big.\nThe house is red.", Translate(engine, L"El perro es grande.\nLa casa es roja."));
  // Accented letters are letters, whatever the program's locale.
  EXPECT_EQ(L"He is here. The boy.", Translate(engine, L"\u00c9l est\u00e1 aqu\u00ed. El ni\u00f1o."));
}

// An engine whose pipeline is the given command.
std::unique_ptr<ApertiumEngine> Broken(const std::string& command, int timeoutMs) {
  Settings s = Settings::FromEnvironment();
  s.pipelineCommand = command;
  s.timeoutMs = timeoutMs;
  return std::make_unique<ApertiumEngine>(PairNamed(L"eng-spa"), s);
}

// Each fails the request with the engine's error and the pipeline is
// dropped.
TEST(BrokenPipelineTest, APipelineThatDiesHangsOrAnswersWronglyFailsTheRequestAndIsDropped) {
  // The pipeline, its time-out.
  const std::pair<const char*, int> cases[] = {
      {"head -c 3 >/dev/null", 30000},  // reads a little, dies unanswered
      {"cat >/dev/null", 300},          // hangs: the time-out ends it
      {"while IFS= read -r -d '' x; do printf 'garbage\\0'; done", 30000},  // answers, no end marker
      {"exec yes", 600000},             // runs away: no wait for the time-out
  };
  for (const auto& [command, timeoutMs] : cases) {
    SCOPED_TRACE(command);
    auto engine = Broken(command, timeoutMs);
    const Answer a = Ask(*engine, L"The dog.");
    EXPECT_EQ(std::tuple(a.status, a.error, engine->PipelineProcessId()),
              std::tuple(kRequestFailed, kEngineErrorEngine, pid_t{0}));
  }
}

// A cancel ends at once a request whose pipeline never answers, and the
// pipeline is dropped.
TEST(BrokenPipelineTest, ACancelEndsARequestThePipelineNeverAnswers) {
  auto engine = Broken("cat >/dev/null", 600000);
  std::shared_ptr<ITranslationResult> result;
  engine->Translate(L"The dog.", kTranslateModePlain, &result);
  LONG status = -1;
  engine->WaitForResult(20, &status);
  EXPECT_EQ(kRequestRunning, status);
  std::thread canceller([&] { engine->Cancel(); });
  EXPECT_EQ(kRequestCancelled, Wait(*engine, 60000));
  canceller.join();
  EXPECT_EQ(0, engine->PipelineProcessId());
}

TEST(BrokenPipelineTest, AHungPipelineCostsOneTimeOutPerRequestAndTheNextRequestGetsAFreshOne) {
  testsupport::TempDir dir;
  const auto starts = dir / "starts";
  auto engine = Broken("echo started >> '" + starts.string() + "'; exec sleep 600", 1000);
  for (int request = 1; request <= 2; ++request) {
    EXPECT_EQ(kRequestFailed, Ask(*engine, L"The dog.", kTranslateModeCorrespondence).status);
    EXPECT_EQ(0, engine->PipelineProcessId());
    EXPECT_EQ(request, LinesWith(starts, "started")) << "pipelines started (each waited for until the time-out)";
  }
  // The same for texts announced ahead: the one the batch hung on fails
  // without a second wait.
  ASSERT_EQ(S_OK, engine->TranslateAhead({L"One.", L"Two."}, kTranslateModePlain));
  EXPECT_EQ(kRequestFailed, Ask(*engine, L"One.").status);
  EXPECT_EQ(3, LinesWith(starts, "started"));
}

// A mode folder of the test's own: one direction whose only stage is a script.
class FakeModeTest : public ::testing::Test {
 protected:
  std::unique_ptr<ApertiumEngine> Engine(const std::string& stageScript) {
    std::filesystem::path stage = mDir / "stage";
    std::ofstream(stage) << "#!/bin/bash\n" << stageScript;
    std::filesystem::permissions(stage, std::filesystem::perms::owner_all);
    std::ofstream(mDir / "eng-spa.mode") << "'" << stage.string() << "'\n";
    Settings s = Settings::FromEnvironment();
    s.modeDirs = {mDir.path().string()};
    return std::make_unique<ApertiumEngine>(PairNamed(L"eng-spa", s.modeDirs), s);
  }
  testsupport::TempDir mDir;
};

// A stage that answers every chunk with itself, logging it first.
std::string EchoStage(const std::string& log, const std::string& delay = "") {
  return "while IFS= read -r -d '' chunk; do\n"
         "  printf '%s\\n' \"$chunk\" >> '" + log + "'\n" + delay +
         "  printf '%s\\0' \"$chunk\"\n"
         "done\n";
}

TEST_F(FakeModeTest, AnnouncedTextsCrossThePipelineOnceAndAnswersKeepTheirOrder) {
  auto log = mDir / "chunks";
  auto engine = Engine(EchoStage(log.string()));
  ASSERT_EQ(S_OK, engine->TranslateAhead({L"One.", L"Two.", L"Three.", L"Four.", L"Five.", L"Six."}, 0));
  // Two is skipped, Three still answered from the announced texts; Seven,
  // which nobody announced, goes on its own and leaves the rest announced.
  for (const wchar_t* text : {L"One.", L"Three.", L"Four.", L"Seven."}) EXPECT_EQ(text, Translate(*engine, text));
  // Announcements add up, and a text announced twice crosses once.
  ASSERT_EQ(S_OK, engine->TranslateAhead({L"Six.", L"Eight."}, 0));
  for (const wchar_t* text : {L"Six.", L"Six.", L"Eight."}) EXPECT_EQ(text, Translate(*engine, text));
  for (const char* asked : {"One.", "Three.", "Four.", "Seven.", "Six.", "Eight."})
    EXPECT_EQ(1, LinesWith(log, asked)) << asked;

  // Many long texts written back to back outgrow the pipes' buffers.
  std::vector<std::wstring> many;
  for (int i = 0; i < 100; ++i) many.push_back(L"Text " + std::to_wstring(i) + L" " + std::wstring(3000, L'x') + L".");
  ASSERT_EQ(S_OK, engine->TranslateAhead(many, kTranslateModePlain));
  for (const std::wstring& text : many) ASSERT_EQ(text, Translate(*engine, text));
  EXPECT_EQ(1, LinesWith(log, "Text 99 "));
}

TEST_F(FakeModeTest, AnAnnouncedTextIsAnsweredWhileTheTextsAfterItAreStillOnTheirWay) {
  // The stage holds back the second text until the gate opens.
  auto gate = mDir / "gate";
  auto engine = Engine(
      "while IFS= read -r -d '' chunk; do\n"
      "  case \"$chunk\" in *Two.*) while [ ! -e '" + gate.string() + "' ]; do sleep 0.01; done;; esac\n"
      "  printf '%s\\0' \"$chunk\"\n"
      "done\n");
  ASSERT_EQ(S_OK, engine->TranslateAhead({L"One.", L"Two.", L"Three."}, 0));
  std::shared_ptr<ITranslationResult> result;
  ASSERT_EQ(S_OK, engine->Translate(L"One.", kTranslateModePlain, &result));
  LONG status = -1;
  EXPECT_EQ(S_OK, engine->WaitForResult(20000, &status));
  EXPECT_EQ(kRequestDone, status) << "the first answer waited for the whole batch";
  std::ofstream(gate) << "open";
  if (status == kRequestRunning) Wait(*engine);
  for (const wchar_t* text : {L"Two.", L"Three."}) EXPECT_EQ(text, Translate(*engine, text));
}

TEST_F(FakeModeTest, CancelDropsTheTextsSentAheadAndTheNextTextStillGetsItsAnswer) {
  auto log = mDir / "chunks";
  auto engine = Engine(EchoStage(log.string(), "  sleep 0.2\n"));
  ASSERT_EQ(S_OK, engine->TranslateAhead({L"One.", L"Two.", L"Three.", L"Four.", L"Five.", L"Six."}, 0));
  std::shared_ptr<ITranslationResult> result;
  ASSERT_EQ(S_OK, engine->Translate(L"One.", kTranslateModePlain, &result));
  ASSERT_EQ(S_OK, engine->Cancel());
  EXPECT_EQ(kRequestCancelled, Wait(*engine));
  // The worker's batch is stopped with its pipeline.
  for (int i = 0; i < 1000 && engine->PipelineProcessId() != 0; ++i) usleep(10000);
  EXPECT_EQ(0, engine->PipelineProcessId());
  const int before = LinesWith(log, "Six.");
  EXPECT_EQ(L"Two.", Translate(*engine, L"Two."));
  EXPECT_EQ(before, LinesWith(log, "Six.")) << "nothing announced before the cancel is translated after it";
}

// A user who installed a pair opens it through the class table, with no
// configuration, exactly as the add-in does. Its stages run as
// processes here, and every one is reaped: orphans come to this process, as
// they do to a program run as PID 1 or under a subreaper, and a stage nobody
// reaps would stay here.
TEST(ApertiumServerTest, ListedOpenedAndClosedThroughTheEngineClassesLeavingNoProcess) {
  ASSERT_EQ(0, prctl(PR_SET_CHILD_SUBREAPER, 1));
  struct Restore {
    ~Restore() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
  } restore;
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  {
    platformtest::ScopedEnv processes(L"PELORANT_APERTIUM_IN_PROCESS", L"0");
    ScopedClassHooks inProcess(InProcessClassHooks());
    std::shared_ptr<IEngineFactory> factory;
    ASSERT_EQ(S_OK, CreateEngineFactory(&factory));
    ASSERT_EQ(S_OK, factory->SetImplementation(L"Apertium"));
    auto engine = testsupport::OpenListedEngine(*factory, L"eng-spa");
    ASSERT_TRUE(engine);
    LONG flags = 0;
    engine->Info(&flags);
    EXPECT_EQ(kInfoFlagTranslate | kInfoFlagCorrespondence | kInfoFlagDictionary | kInfoFlagKeepsPrivateUse, flags);
    EXPECT_TRUE(Contains(Translate(*engine, L"The house is red."), L"casa"));
    std::wstring longText;
    for (int i = 0; i < 2000; ++i) longText += L"The old man reads the newspaper in the garden. ";
    std::shared_ptr<ITranslationResult> result;
    ASSERT_EQ(S_OK, engine->Translate(longText, kTranslateModePlain, &result));
    LONG status = -1;
    engine->WaitForResult(200, &status);
    engine->Cancel();
    Wait(*engine);
    EXPECT_TRUE(Contains(Translate(*engine, L"The dog."), L"perro"));

    std::shared_ptr<IEngineList> list;
    ASSERT_EQ(S_OK, factory->GetEngineList(L"xxx-yyy", L"", L"", 0, &list));
    EXPECT_EQ(kRequestFailed, Wait(*factory));
    LONG code = 0;
    factory->ErrorCode(&code);
    EXPECT_EQ(kEngineErrorInvalidEngineId, code);
  }
  // Closed: nothing this process started is running, and nothing is left
  // unreaped.
  errno = 0;
  pid_t left = waitpid(-1, nullptr, WNOHANG);
  int error = errno;
  EXPECT_EQ(-1, left) << (left > 0 ? "an unreaped process: " + std::to_string(left) : std::string("a running child"));
  EXPECT_EQ(ECHILD, error);
}

// The pipeline command of the installed eng-spa mode.
std::string EngSpaMode() {
  std::ifstream in("/usr/share/apertium/modes/eng-spa.mode");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs f on a request's worker (the only place a token comes from), its
// token cancelled first when asked; false when f did not end in time.
bool OnWorker(bool cancel, const std::function<void(const CancelToken&)>& f) {
  std::promise<void> done;
  AsyncRequest request;
  request.Start([&](const CancelToken& token) {
    for (int i = 0; cancel && i < 12000 && !token.Cancelled(); ++i) token.SleepFor(std::chrono::milliseconds(10));
    f(token);
    done.set_value();
    return RequestOutcome::Done();
  });
  if (cancel) request.Cancel();
  return done.get_future().wait_for(std::chrono::minutes(2)) == std::future_status::ready;
}

TEST(InProcessModeTest, AStageOrOptionItDoesNotKnowLeavesTheModeToProcesses) {
  const std::string known = "lt-proc a.bin | ";
  const std::string stages[] = {
      "cg-proc rules.bin",                           // a program it does not know
      "lt-proc -e a.bin",                            // an option it does not know
      "lt-proc a.bin b.bin",                         // too many files
      "lt-proc -b -g a.bin",                         // two modes at once
      "apertium-tagger a.prob",                      // the tagger without -g
      "apertium-tagger -g -u 2 a.prob",              // another tagging model
      "apertium-transfer -b a.t1x",                  // a file short
      "apertium-transfer a.t1x a.bin",               // its bilingual dictionary missing
      "lt-proc a.bin > out.txt",                     // a redirection
      "lt-proc $(cat name)",                         // a command substitution
      "lt-proc \"$HOME/a.bin\"",                     // a variable
  };
  for (const auto& stage : stages) {
    std::string unknown;
    EXPECT_FALSE(ParseCommand(known + stage, {}, false, &unknown)) << stage;
    EXPECT_NE(std::string::npos, unknown.find(stage.substr(0, stage.find(' ')))) << unknown;
  }
  EXPECT_TRUE(ParseCommand("lt-proc -", {}, false, nullptr)) << "a lone '-' is a file, not an option";
  // Shell syntax inside double quotes keeps the command whole too.
  EXPECT_EQ(std::vector<std::string>{"a \"$(b | c)\" | d"}, apertium::SplitStages("a \"$(b | c)\" | d"));
  EXPECT_EQ((std::vector<std::string>{"a \"x|y\"", "b 'z|w'"}), apertium::SplitStages("a \"x|y\" | b 'z|w'"));
  auto dictionary = ParseCommand("exec lt-proc -z -w '/x y/a.bin'", {}, false, nullptr);
  ASSERT_TRUE(dictionary && dictionary->size() == 1u);
  EXPECT_EQ(std::pair(true, std::vector<std::string>{"/x y/a.bin"}),
            std::pair((*dictionary)[0].dictionaryCase, (*dictionary)[0].files)) << "the dictionary case, the files";
}

// Expected streams as apertium-wblank-attach and -detach give them.
TEST(InProcessWordBlankTest, AttachAndDetachAsApertiumsOwnStages) {
  const struct {
    std::string (*stage)(const std::string&);
    const char* in;
    const char* out;
  } cases[] = {
      {apertium::AttachWordBlanks, "[[w:1]]^Hello/Hello<ij>$[[/]] [[w:2]]^big/big<adj>$[[/]]^./.<sent>$[]",
       "[[w:1]]^Hello/Hello<ij>$ [[w:2]]^big/big<adj>$^./.<sent>$[]"},
      // One mark over two words marks both; a superblank inside stays.
      {apertium::AttachWordBlanks, "[[w:3]]^big/big<adj>$ ^house/house<n>$[[/]] ^x/*x$",
       "[[w:3]]^big/big<adj>$ [[w:3]]^house/house<n>$ ^x/*x$"},
      {apertium::AttachWordBlanks, "[[w:1]]^a<n>$ [x]^b<n>$[[/]] ^c$", "[[w:1]]^a<n>$ [x][[w:1]]^b<n>$ ^c$"},
      // Nested marks join; an escaped bracket is text.
      {apertium::AttachWordBlanks, "[[w:1]]^a<n>$ [[w:2]]^b<n>$[[/]][[/]] [[w:3]]\\[[/]] ^c$",
       "[[w:1]]^a<n>$ [[w:1; w:2]]^b<n>$ \\[[/]] [[w:3]]^c$"},
      {apertium::AttachWordBlanks, "^a\\$b/x$ [[t:1]]^c$[[/]]", "^a\\$b/x$ [[t:1]]^c$"},
      {apertium::DetachWordBlanks, "[[w:1]]^a<n>$ ^b<n>$ [[w:2; x]]^c<n>$^d<n>$ [[t:1]]^e<n>$ [[]]^f<n>$",
       "[[w:1]]^a<n>$[[/]] ^b<n>$ [[w:2; x]]^c<n>$[[/]]^d<n>$ [[t:1]]^e<n>$[[/]] [[]]^f<n>$[[/]]"},
      {apertium::DetachWordBlanks, "[[w:1]]^Hola<ij>$ [[w:3]]^Mundo<n>$^.<sent>$[]",
       "[[w:1]]^Hola<ij>$[[/]] [[w:3]]^Mundo<n>$[[/]]^.<sent>$[]"},
      {apertium::DetachWordBlanks, "[b] ^a$ [[w:1]]^b\\$c$", "[b] ^a$ [[w:1]]^b\\$c$[[/]]"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.out, c.stage(c.in)) << c.in;
}

// The program reads the numbers of the stream (postchunk's tag references)
// in place of lttoolbox, and reads them as lttoolbox does.
TEST(InProcessNumbersTest, ReadByTheProgramInPlaceOfTheLibraryAndAlike) {
  using Stoi = int (*)(const std::u16string&);
  const char name[] = "_ZN11StringUtils4stoiERKNSt7__cxx1112basic_stringIDsSt11char_traitsIDsESaIDsEEE";
  const auto ours = reinterpret_cast<Stoi>(dlsym(RTLD_DEFAULT, name));
  const auto library = reinterpret_cast<Stoi>(dlsym(RTLD_NEXT, name));
  ASSERT_TRUE(ours && library);
  ASSERT_NE(ours, library) << "the library's callers would reach its own reader";
  auto read = [](Stoi stoi, const std::u16string& s) -> std::optional<int> {
    try {
      return stoi(s);
    } catch (const std::invalid_argument&) {
      return std::nullopt;
    }
  };
  const std::u16string cases[] = {u"1>$ ^b<n><2>$", u"12>", u"007",  u"123456789>", u"1234567890>",
                                  u"1,234>",        u"-4>", u" 3>", u"x>",         u""};
  for (const auto& c : cases) EXPECT_EQ(read(library, c), read(ours, c)) << c.size() << " characters";
}

// The same answers both ways, text and word correspondence, for bench
// sentences, paragraphs of three real decks (the bench's apertium_compare
// does all of them) and placeholders.
TEST(InProcessAnswersTest, SameAsTheProcessPipelineForBenchAndDeckTexts) {
  std::vector<std::string> texts;
  auto bench = bench::Sentences(300);
  for (size_t i = 0; i < bench.size(); i += 12) texts.push_back(bench[i]);
  const char* source = std::getenv("PELORANT_TEST_SOURCE_DIR");
  ASSERT_TRUE(source);
  std::ifstream decks(std::string(source) + "/tests/apertium/deck_texts.txt");
  for (std::string line; std::getline(decks, line);) texts.push_back(line);
  ASSERT_GT(texts.size(), 60u);
  texts.push_back("It's a well-known fact. Line one\nline two\twith a tab [x] <y> {z} ^$@/\\.");
  texts.push_back("The \xEE\x80\x80 opens at \xEE\x80\x81 on Monday.");  // placeholders U+E000 and U+E001

  apertium::ApertiumEngine inProcess(PairNamed(L"eng-spa"), Runner(true));
  apertium::ApertiumEngine processes(PairNamed(L"eng-spa"), Runner(false));
  for (const std::string& t : texts) {
    std::wstring text = platform::FromUtf8(t);
    for (LONG mode : {kTranslateModePlain, kTranslateModeCorrespondence}) {
      Answer a = Ask(inProcess, text, mode);
      Answer b = Ask(processes, text, mode);
      ASSERT_EQ(kRequestDone, a.status) << t;
      EXPECT_EQ(std::pair(b.text, b.groups), std::pair(a.text, a.groups)) << t;
    }
  }
  // Placeholders come back once each, at their place.
  EXPECT_EQ(L"El \xE000 abre en \xE001 el lunes.",
            Translate(inProcess, L"The \xE000 opens at \xE001 on Monday.", kTranslateModeCorrespondence));
  EXPECT_EQ(0, inProcess.PipelineProcessId());
}

// With no program to be found, the in-process engine translates (texts
// announced ahead too) and looks words up all the same: it starts none. The
// process pipeline cannot.
TEST(InProcessAnswersTest, StartsNoProcess) {
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  platformtest::ScopedEnv noPrograms(L"PATH", L"/nonexistent");
  {
    apertium::ApertiumEngine engine(PairNamed(L"eng-spa"), Runner(true));
    const std::vector<std::wstring> announced = {L"The dog is big.", L"Where is the house?", L"The train was late."};
    ASSERT_EQ(S_OK, engine.TranslateAhead(announced, kTranslateModeCorrespondence));
    for (const std::wstring& text : announced) {
      EXPECT_FALSE(Ask(engine, text, kTranslateModeCorrespondence).groups.empty()) << platform::ToUtf8(text);
    }
    Answer plain = Ask(engine, announced[1]);
    // Plain mode reports no correspondence.
    EXPECT_EQ(std::pair(Contains(plain.text, L"casa"), plain.groups.size()), std::pair(true, size_t{0}));
    // A selection with the punctuation next to the word finds the word too.
    const Answer house = LookUp(engine, L" \"House.\" "), none = LookUp(engine, L"qwzxv");
    EXPECT_TRUE(house.status == kRequestDone && Contains(house.text, L"casa")) << platform::ToUtf8(house.text);
    EXPECT_EQ(std::pair(none.status, none.error), (std::pair<LONG, LONG>(kRequestFailed, kEngineErrorWordNotFound)));
    EXPECT_EQ(0, engine.PipelineProcessId());
  }
  errno = 0;
  EXPECT_EQ(-1, waitpid(-1, nullptr, WNOHANG));
  EXPECT_EQ(ECHILD, errno);

  apertium::ApertiumEngine processes(PairNamed(L"eng-spa"), Runner(false));
  EXPECT_EQ(kRequestFailed, Ask(processes, L"The house is red.").status);
}

TEST(InProcessAnswersTest, AMissingDataFileFailsTheRequestAndTheNextTriesAgain) {
  testsupport::TempDir dir;
  std::string mode = EngSpaMode();
  const std::string gen = "eng-spa.autogen.bin";
  size_t at = mode.find(gen);
  ASSERT_NE(std::string::npos, at);
  std::filesystem::path missing = dir / "autogen.bin";
  size_t start = mode.rfind('\'', at);
  mode.replace(start + 1, at + gen.size() - start - 1, missing.string());
  std::ofstream(dir / "eng-spa.mode") << mode;

  apertium::Settings settings = Runner(true);
  settings.modeDirs = {dir.path().string()};
  apertium::ApertiumEngine engine(PairNamed(L"eng-spa", settings.modeDirs), settings);
  Answer failed = Ask(engine, L"The house.");
  EXPECT_EQ((std::pair<LONG, LONG>(kRequestFailed, kEngineErrorClient)), std::pair(failed.status, failed.error));
  std::filesystem::copy_file("/usr/share/apertium/apertium-eng-spa/" + gen, missing);
  EXPECT_TRUE(Contains(Translate(engine, L"The house."), L"casa"));
}

TEST(InProcessRunnerTest, ChunksFedWhileRunningGiveWhatEachGivesAloneAndACancelStopsThem) {
  auto stages = ParseCommand(EngSpaMode(), {"-n", ""}, true, nullptr);
  ASSERT_TRUE(stages);
  apertium::InProcessRunner runner(std::move(*stages));
  std::vector<std::string> inputs = {apertium::Deformat(L"The dog is big.", nullptr, 1),
                                     apertium::Deformat(L"", nullptr, 2),
                                     apertium::Deformat(L"Where is the house?", nullptr, 3)};
  using Result = apertium::Translator::Result;
  const auto limit = std::chrono::milliseconds(120000);
  std::vector<std::string> many, ones, cancelledMany{"left over"};
  std::vector<size_t> told;
  Result manyResult, cancelledResult, tooLong;
  std::vector<Result> oneResults;
  std::string capped = "not cleared";
  ASSERT_TRUE(OnWorker(false, [&](const CancelToken& token) {
    // The last input comes up while the first two are on their way.
    int asked = 0;
    manyResult = runner.ExchangeFed(
        {inputs[0], inputs[1]}, &many, token, limit, 1 << 20, [&](size_t i, const std::string&) { told.push_back(i); },
        [&](std::vector<std::string>* more) -> size_t {
          if (asked++ == 0) more->push_back(inputs[2]);
          return 0;
        });
    for (const auto& input : inputs) {
      ones.emplace_back();
      oneResults.push_back(runner.Exchange(input, &ones.back(), token, limit, 1 << 20));
    }
    // An answer over its cap is refused, not cut.
    tooLong = runner.Exchange(inputs[0], &capped, token, limit, 4);
  }));
  // The result, the answers, the inputs told as they came back.
  ASSERT_EQ(std::tuple(Result::Ok, inputs.size(), std::vector<size_t>{0, 1, 2}),
            std::tuple(manyResult, many.size(), told));
  for (size_t i = 0; i < inputs.size(); ++i) {
    EXPECT_EQ(std::pair(Result::Ok, many[i]), std::pair(oneResults[i], ones[i])) << "alone";
    EXPECT_TRUE(apertium::Reformat(many[i], 0, i + 1).complete) << many[i];
  }
  EXPECT_NE(std::string::npos, many[2].find("casa"));
  EXPECT_EQ(std::pair(Result::TooLong, std::string()), std::pair(tooLong, capped));

  ASSERT_TRUE(OnWorker(true, [&](const CancelToken& token) {
    cancelledResult = runner.ExchangeMany(inputs, &cancelledMany, token, limit, 1 << 20);
  }));
  EXPECT_EQ(std::pair(Result::Cancelled, std::vector<std::string>{}), std::pair(cancelledResult, cancelledMany));
}

}  // namespace
