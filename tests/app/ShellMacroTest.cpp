// The --macro option: a name bound to a shell command, run by the stand-in
// host with the macro's arguments quoted.
#include <gtest/gtest.h>

#include "apps/pelorant/ShellMacro.h"
#include "src/platform/ComError.h"

namespace {

HRESULT ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const platform::ComError& e) {
    return e.Error();
  }
  return S_OK;
}

TEST(ShellMacro, RegisteredCommandsRunThroughTheHostAndBadValuesSayWhy) {
  host::pptx::ApplicationOptions o;
  std::string error;
  ASSERT_TRUE(app::AddMacroOption(o, "Upper=sh -c 'printf %s \"$1\" | tr a-z A-Z' macro", error));
  ASSERT_TRUE(app::AddMacroOption(o, "Fail=false", error));
  for (const char* bad : {"=nothing", "NoCommand=", "no-equals-sign"}) {
    error.clear();
    EXPECT_FALSE(app::AddMacroOption(o, bad, error)) << bad;
    EXPECT_NE(error.find("NAME=COMMAND"), std::string::npos) << bad;
  }
  auto a = host::pptx::CreateApplication(o);
  // A quote in an argument stays part of the argument, not of the command.
  EXPECT_EQ(a->Run(L"Upper", {L"it's"}), L"IT'S");
  EXPECT_EQ(ErrorOf([&] { a->Run(L"Fail", {}); }), E_FAIL);
}

}  // namespace
