// Opens a pair the way the add-in does, for suites that reach an engine
// through its factory.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "src/engine/server/EngineClasses.h"
#include "src/engine/server/EngineServer.h"

namespace testsupport {

// Lists the one pair `id` of the factory's chosen implementation and asks
// for its engine; null, with the factory's error text in `error`, when the
// listing fails or does not give exactly that pair.
inline std::shared_ptr<engine_server::ITranslationEngine> OpenListedEngine(engine_server::IEngineFactory& factory,
                                                                           const std::wstring& id,
                                                                           std::wstring* error = nullptr) {
  using namespace engine_server;
  std::shared_ptr<IEngineList> list;
  LONG status = kRequestRunning, count = 0;
  EXPECT_EQ(S_OK, factory.GetEngineList(id, L"", L"", 0, &list));
  factory.WaitForResult(60000, &status);
  if (status == kRequestDone) list->Count(&count);
  std::shared_ptr<IEngineListItem> item;
  std::shared_ptr<ITranslationEngine> engine;
  if (count != 1 || FAILED(list->Item(1, &item)) || FAILED(factory.GetEngine(item, &engine))) {
    if (error) factory.ErrorText(error);
    return nullptr;
  }
  factory.WaitForResult(60000, &status);
  EXPECT_EQ(kRequestDone, status);
  return engine;
}

// The names the in-process class table lists now, in order; an index outside
// the list is refused.
inline std::vector<std::wstring> ListedImplementations() {
  using namespace engine_server;
  std::shared_ptr<IImplementations> impls;
  EXPECT_EQ(S_OK, CreateInProcessImplementations(&impls));
  LONG count = 0;
  impls->Count(&count);
  std::vector<std::wstring> out(static_cast<size_t>(count));
  for (LONG i = 1; i <= count; ++i) impls->Item(i, &out[static_cast<size_t>(i - 1)]);
  std::wstring n;
  EXPECT_EQ(DISP_E_BADINDEX, impls->Item(count + 1, &n));
  EXPECT_EQ(DISP_E_BADINDEX, impls->Item(0, &n));
  return out;
}

}  // namespace testsupport
