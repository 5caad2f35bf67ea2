// These tests run the real Apertium pipelines of apertium-eng-spa.
#include "engines/apertium/ApertiumServer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

#include "src/engine/server/EngineClasses.h"
#include "src/platform/Strings.h"
#include "tests/apertium/Requests.h"
#include "tests/common/TempDir.h"
#include "tests/platform/TestSupport.h"

using apertium::ApertiumEngine;
using apertium::ApertiumPair;
using apertium::FindPairs;
using apertium::Settings;

using namespace apertiumtest;

namespace {

Settings ProcessSettings() { return Runner(false); }

void ExpectContainsAll(const std::wstring& text, std::initializer_list<const wchar_t*> parts) {
  for (const wchar_t* part : parts) EXPECT_TRUE(Contains(text, part)) << platform::ToUtf8(text);
}

// Opens a direction through the engine classes, exactly as the add-in does.
std::shared_ptr<ITranslationEngine> OpenThroughClasses(IEngineFactory& factory, const std::wstring& id) {
  std::shared_ptr<IEngineList> list;
  EXPECT_EQ(S_OK, factory.GetEngineList(id, L"", L"", 0, &list));
  EXPECT_EQ(kRequestDone, Wait(factory));
  LONG count = 0;
  list->Count(&count);
  EXPECT_EQ(1, count);
  std::shared_ptr<IEngineListItem> item;
  std::shared_ptr<ITranslationEngine> engine;
  if (count != 1 || FAILED(list->Item(1, &item)) || FAILED(factory.GetEngine(item, &engine))) return nullptr;
  EXPECT_EQ(kRequestDone, Wait(factory));
  return engine;
}

int LinesWith(const std::filesystem::path& log, const std::string& part) {
  std::ifstream in(log);
  int n = 0;
  for (std::string line; std::getline(in, line);) n += line.find(part) != std::string::npos ? 1 : 0;
  return n;
}

}  // namespace

TEST(ApertiumPairsTest, InstalledDirectionsAreListedWithTheAddinsCodes) {
  auto entry = apertium::ListEntry(PairNamed(L"eng-spa"));
  EXPECT_EQ(L"en>es English - Spanish|Apertium", entry.fromLang + L">" + entry.toLang + L" " + entry.displayName + L"|" +
                                                     entry.productName);
  EXPECT_EQ(kPairFlagTranslate | kPairFlagDictionary, entry.flags);
  EXPECT_EQ(L"es", apertium::ListEntry(PairNamed(L"spa-eng")).fromLang);
  EXPECT_TRUE(FindPairs({::testing::TempDir() + "no-such-folder"}).empty());
}

// One pipeline of processes answers request after request; one killed while
// idle is replaced without failing (a cancelled one is gone: the broken and
// scripted pipelines' tests).
TEST(ApertiumEngineTest, TheProcessPipelineServesEachRequestUntilKilled) {
  ApertiumEngine engine(PairNamed(L"eng-spa"), ProcessSettings());
  std::wstring out = Translate(engine, L"The dog is big. It runs fast.");
  ExpectContainsAll(out, {L"perro", L"grande.", L"Corre"});
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(L'.', out.back());
  EXPECT_NE(L'.', out[out.size() - 2]);
  pid_t pid = engine.PipelineProcessId();
  EXPECT_NE(0, pid);
  EXPECT_EQ(L"Hola Mundo", Translate(engine, L"Hello world"));
  EXPECT_TRUE(Contains(Translate(engine, L"Where is the [big] <house>?"), L"[grande] <casa>?"));
  EXPECT_EQ(L"", Translate(engine, L""));
  // The pipeline's multiword output starts with a blank the source lacks.
  std::wstring multiword = Translate(engine, L"It's a well-known fact.");
  ASSERT_FALSE(multiword.empty());
  EXPECT_NE(L' ', multiword.front());
  EXPECT_EQ(pid, engine.PipelineProcessId());

  ASSERT_GT(pid, 0);
  ASSERT_EQ(0, kill(-pid, SIGKILL));
  EXPECT_TRUE(Contains(Translate(engine, L"The cat is black."), L"gato"));
  EXPECT_NE(pid, engine.PipelineProcessId());
}

TEST(ApertiumEngineTest, LineEndsAndSpanishToEnglish) {
  ApertiumEngine engine(PairNamed(L"spa-eng"), Settings::FromEnvironment());
  std::wstring out = Translate(engine, L"El perro es grande.\nLa casa es roja.");
  ExpectContainsAll(out, {L"dog", L".\n", L"house"});
  // Accented letters are letters, whatever the program's locale.
  ExpectContainsAll(Translate(engine, L"\u00c9l est\u00e1 aqu\u00ed. El ni\u00f1o."), {L"He is here.", L"boy"});
}

// An engine whose pipeline is the given command.
std::unique_ptr<ApertiumEngine> Broken(const std::string& command, int timeoutMs) {
  Settings s = Settings::FromEnvironment();
  s.pipelineCommand = command;
  s.timeoutMs = timeoutMs;
  return std::make_unique<ApertiumEngine>(PairNamed(L"eng-spa"), s);
}

// Each fails the request (a cancel cancels it at once) and the pipeline is
// dropped.
TEST(BrokenPipelineTest, APipelineThatDiesHangsOrAnswersWronglyFailsTheRequestAndIsDropped) {
  const struct {
    const char* command;
    int timeoutMs;
    LONG status = kRequestFailed;
  } cases[] = {
      {"head -c 3 >/dev/null", 30000},                                       // reads a little, dies unanswered
      {"cat >/dev/null", 300},                                               // hangs: the time-out ends it
      {"while IFS= read -r -d '' x; do printf 'garbage\\0'; done", 30000},  // answers without the end marker
      {"exec yes", 600000},                                                  // runs away: no wait for the time-out
      {"cat >/dev/null", 600000, kRequestCancelled},                         // hangs until cancelled
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    auto engine = Broken(c.command, c.timeoutMs);
    std::shared_ptr<ITranslationResult> result;
    engine->Translate(L"The dog.", kTranslateModePlain, &result);
    std::thread canceller;
    if (c.status == kRequestCancelled) {
      LONG status = -1;
      engine->WaitForResult(20, &status);
      EXPECT_EQ(kRequestRunning, status);
      canceller = std::thread([&] { engine->Cancel(); });
    }
    EXPECT_EQ(c.status, Wait(*engine, 60000));
    if (canceller.joinable()) canceller.join();
    if (c.status == kRequestFailed) {
      EXPECT_EQ(kEngineErrorEngine, Code(*engine));
    }
    EXPECT_EQ(0, engine->PipelineProcessId());
  }
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
  EXPECT_EQ(L"One.", Translate(*engine, L"One."));
  // Two was skipped; Three is still answered from the announced texts.
  EXPECT_EQ(L"Three.", Translate(*engine, L"Three."));
  EXPECT_EQ(L"Four.", Translate(*engine, L"Four."));
  // A text nobody announced goes on its own and leaves the rest announced.
  EXPECT_EQ(L"Seven.", Translate(*engine, L"Seven."));
  // Announcements add up, and a text announced twice crosses once.
  ASSERT_EQ(S_OK, engine->TranslateAhead({L"Six.", L"Eight."}, 0));
  EXPECT_EQ(L"Six.", Translate(*engine, L"Six."));
  EXPECT_EQ(L"Six.", Translate(*engine, L"Six."));
  EXPECT_EQ(L"Eight.", Translate(*engine, L"Eight."));
  for (const char* asked : {"One.", "Three.", "Four.", "Seven.", "Six.", "Eight."}) {
    EXPECT_EQ(1, LinesWith(log, asked)) << asked;
  }

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
  EXPECT_EQ(L"Two.", Translate(*engine, L"Two."));
  EXPECT_EQ(L"Three.", Translate(*engine, L"Three."));
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
    auto engine = OpenThroughClasses(*factory, L"eng-spa");
    ASSERT_TRUE(engine);
    LONG flags = 0;
    engine->Info(&flags);
    EXPECT_EQ(kInfoFlagTranslate | kInfoFlagCorrespondence | kInfoFlagDictionary | kInfoFlagKeepsPrivateUse, flags);
    EXPECT_TRUE(Contains(Translate(*engine, L"The house is red."), L"casa"));
    std::wstring entry;
    EXPECT_EQ(kRequestDone, LookUp(*engine, L"house", &entry));
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
    EXPECT_EQ(kEngineErrorInvalidEngineId, Code(*factory));
  }
  // Closed: nothing this process started is running, and nothing is left
  // unreaped.
  errno = 0;
  pid_t left = waitpid(-1, nullptr, WNOHANG);
  int error = errno;
  EXPECT_EQ(-1, left) << (left > 0 ? "an unreaped process: " + std::to_string(left) : std::string("a running child"));
  EXPECT_EQ(ECHILD, error);
}
