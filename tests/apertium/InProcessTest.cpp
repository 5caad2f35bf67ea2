// The stages of a mode run in process: how a mode is read, the wordbound
// blank stages, and the answers against the process pipeline of eng-spa.
#include "engines/apertium/InProcess.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>

#include "bench/BenchSentences.h"
#include "engines/apertium/ApertiumFormat.h"
#include "engines/apertium/ApertiumServer.h"
#include "engines/apertium/Pipeline.h"
#include "src/platform/Strings.h"
#include "tests/apertium/Requests.h"
#include "tests/common/TempDir.h"
#include "tests/platform/TestSupport.h"

using namespace apertiumtest;
using apertium::ParseCommand;
using apertium::StagePlan;
using Kind = apertium::StagePlan::Kind;

namespace {

const char kModeDir[] = "/usr/share/apertium/modes";

// The pipeline command of the installed eng-spa mode.
std::string EngSpaMode() {
  std::ifstream in(std::string(kModeDir) + "/eng-spa.mode");
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

}  // namespace

TEST(InProcessModeTest, AStageOrOptionItDoesNotKnowLeavesTheModeToProcesses) {
  const std::string known = "lt-proc a.bin | ";
  struct Case {
    std::string stage;
  } cases[] = {
      {"cg-proc rules.bin"},                         // a program it does not know
      {"lt-proc -e a.bin"},                          // an option it does not know
      {"lt-proc a.bin b.bin"},                       // too many files
      {"lt-proc -b -g a.bin"},                       // two modes at once
      {"apertium-tagger a.prob"},                    // the tagger without -g
      {"apertium-tagger -g -u 2 a.prob"},            // another tagging model
      {"apertium-transfer -b a.t1x"},                // a file short
      {"apertium-transfer a.t1x a.bin"},             // its bilingual dictionary missing
      {"lt-proc a.bin > out.txt"},                   // a redirection
      {"lt-proc $(cat name)"},                       // a command substitution
      {"lt-proc \"$HOME/a.bin\""},                   // a variable
  };
  for (const auto& c : cases) {
    std::string unknown;
    EXPECT_FALSE(ParseCommand(known + c.stage, {}, false, &unknown)) << c.stage;
    EXPECT_NE(std::string::npos, unknown.find(c.stage.substr(0, c.stage.find(' ')))) << unknown;
  }
  EXPECT_TRUE(ParseCommand("lt-proc -", {}, false, nullptr)) << "a lone '-' is a file, not an option";
  // Shell syntax inside double quotes keeps the command whole too.
  EXPECT_EQ(std::vector<std::string>{"a \"$(b | c)\" | d"}, apertium::SplitStages("a \"$(b | c)\" | d"));
  EXPECT_EQ((std::vector<std::string>{"a \"x|y\"", "b 'z|w'"}), apertium::SplitStages("a \"x|y\" | b 'z|w'"));
  auto dictionary = ParseCommand("exec lt-proc -z -w '/x y/a.bin'", {}, false, nullptr);
  ASSERT_TRUE(dictionary);
  ASSERT_EQ(1u, dictionary->size());
  EXPECT_TRUE((*dictionary)[0].dictionaryCase);
  EXPECT_EQ(std::vector<std::string>{"/x y/a.bin"}, (*dictionary)[0].files);
}

// Expected streams as apertium-wblank-attach and -detach give them.
TEST(InProcessWordBlankTest, AttachAndDetachAsApertiumsOwnStages) {
  struct Case {
    const char* in;
    const char* attached;
  } attach[] = {
      {"[[w:1]]^Hello/Hello<ij>$[[/]] [[w:2]]^big/big<adj>$[[/]]^./.<sent>$[]",
       "[[w:1]]^Hello/Hello<ij>$ [[w:2]]^big/big<adj>$^./.<sent>$[]"},
      // One mark over two words marks both; a superblank inside stays.
      {"[[w:3]]^big/big<adj>$ ^house/house<n>$[[/]] ^x/*x$", "[[w:3]]^big/big<adj>$ [[w:3]]^house/house<n>$ ^x/*x$"},
      {"[[w:1]]^a<n>$ [x]^b<n>$[[/]] ^c$", "[[w:1]]^a<n>$ [x][[w:1]]^b<n>$ ^c$"},
      // Nested marks join; an escaped bracket is text.
      {"[[w:1]]^a<n>$ [[w:2]]^b<n>$[[/]][[/]] [[w:3]]\\[[/]] ^c$", "[[w:1]]^a<n>$ [[w:1; w:2]]^b<n>$ \\[[/]] [[w:3]]^c$"},
      {"^a\\$b/x$ [[t:1]]^c$[[/]]", "^a\\$b/x$ [[t:1]]^c$"},
  };
  for (const auto& c : attach) EXPECT_EQ(c.attached, apertium::AttachWordBlanks(c.in)) << c.in;
  struct Case2 {
    const char* in;
    const char* detached;
  } detach[] = {
      {"[[w:1]]^a<n>$ ^b<n>$ [[w:2; x]]^c<n>$^d<n>$ [[t:1]]^e<n>$ [[]]^f<n>$",
       "[[w:1]]^a<n>$[[/]] ^b<n>$ [[w:2; x]]^c<n>$[[/]]^d<n>$ [[t:1]]^e<n>$[[/]] [[]]^f<n>$[[/]]"},
      {"[[w:1]]^Hola<ij>$ [[w:3]]^Mundo<n>$^.<sent>$[]", "[[w:1]]^Hola<ij>$[[/]] [[w:3]]^Mundo<n>$[[/]]^.<sent>$[]"},
      {"[b] ^a$ [[w:1]]^b\\$c$", "[b] ^a$ [[w:1]]^b\\$c$[[/]]"},
  };
  for (const auto& c : detach) EXPECT_EQ(c.detached, apertium::DetachWordBlanks(c.in)) << c.in;
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
      EXPECT_EQ(b.text, a.text) << t;
      EXPECT_EQ(b.groups, a.groups) << t;
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
    Answer a = Ask(engine, L"The house is red.", kTranslateModeCorrespondence);
    EXPECT_TRUE(Contains(a.text, L"casa")) << platform::ToUtf8(a.text);
    EXPECT_FALSE(a.groups.empty());
    const std::vector<std::wstring> announced = {L"The dog is big.", L"Where is the house?", L"The train was late."};
    ASSERT_EQ(S_OK, engine.TranslateAhead(announced, kTranslateModeCorrespondence));
    for (const std::wstring& text : announced) {
      EXPECT_FALSE(Ask(engine, text, kTranslateModeCorrespondence).groups.empty()) << platform::ToUtf8(text);
    }
    std::vector<WordCorrespondence> none;
    EXPECT_TRUE(Contains(Translate(engine, announced[1], kTranslateModePlain, &none), L"casa"));
    EXPECT_TRUE(none.empty()) << "plain mode reports no correspondence";
    // A selection with the punctuation next to the word finds the word too.
    std::wstring lookedUp;
    ASSERT_EQ(kRequestDone, LookUp(engine, L" \"House.\" ", &lookedUp));
    EXPECT_TRUE(Contains(lookedUp, L"casa")) << platform::ToUtf8(lookedUp);
    EXPECT_EQ(kRequestFailed, LookUp(engine, L"qwzxv", &lookedUp));
    EXPECT_EQ(kEngineErrorWordNotFound, Code(engine));
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
  EXPECT_EQ(kRequestFailed, failed.status);
  EXPECT_EQ(kEngineErrorClient, failed.error);
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
  std::vector<std::string> many, ones, cancelledMany;
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
  ASSERT_EQ(Result::Ok, manyResult);
  ASSERT_EQ(inputs.size(), many.size());
  EXPECT_EQ((std::vector<size_t>{0, 1, 2}), told);
  for (size_t i = 0; i < inputs.size(); ++i) {
    EXPECT_EQ(Result::Ok, oneResults[i]);
    EXPECT_EQ(ones[i], many[i]);
    EXPECT_TRUE(apertium::Reformat(many[i], 0, i + 1).complete) << many[i];
  }
  EXPECT_NE(std::string::npos, many[2].find("casa"));
  EXPECT_EQ(Result::TooLong, tooLong);
  EXPECT_TRUE(capped.empty());

  cancelledMany = {"left over"};
  ASSERT_TRUE(OnWorker(true, [&](const CancelToken& token) {
    cancelledResult = runner.ExchangeMany(inputs, &cancelledMany, token, limit, 1 << 20);
  }));
  EXPECT_EQ(Result::Cancelled, cancelledResult);
  EXPECT_TRUE(cancelledMany.empty());
}
