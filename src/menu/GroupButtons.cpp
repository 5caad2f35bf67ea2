#include "src/menu/GroupButtons.h"

#include <exception>

#include "src/platform/ComError.h"
#include "src/support/Log.h"

namespace menu {

void ClickSink::Click(const host::Ptr<host::CommandBarControl>&, bool&) noexcept {
  try {
    if (mOnClick) mOnClick();
  } catch (const platform::ComError& e) {
    LOG_ERROR(mSource, L"Click Err: " + e.Description());
  } catch (...) {
    LOG_ERROR(mSource, L"Click Err");
  }
}

void ConnectedButton::Connect(std::function<void()> onClick, const std::wstring& source) {
  sink = std::make_shared<ClickSink>(std::move(onClick), source);
  cookie = button->Advise(sink);
}

bool ConnectedButton::Disconnect() {
  bool ok = true;
  if (button && cookie != kNotConnected) {
    try {
      button->Unadvise(cookie);
    } catch (const std::exception&) {
      ok = false;
    }
  }
  cookie = kNotConnected;
  sink.reset();
  return ok;
}

void ConnectedButton::Rebind(host::Ptr<host::CommandBarControl> found) {
  if (!found || !button || found == button || found->Identity() == button->Identity()) return;
  host::Ptr<ClickSink> kept = sink;
  // The old control may be gone already; its connection is forgotten anyway.
  Disconnect();
  button = std::move(found);
  if (!kept) return;
  sink = std::move(kept);
  cookie = button->Advise(sink);
}

void GroupButtons::Add(host::Ptr<host::CommandBarControl> button, std::wstring key) {
  auto item = std::make_unique<GroupButtonItem>();
  item->tag = button->Tag();
  item->connection.button = std::move(button);
  item->key = std::move(key);
  GroupButtonItem* raw = item.get();
  mItems.push_back(std::move(item));
  raw->connection.Connect(
      [this, raw] {
        const int index = FindButton(raw->connection.button);
        if (index >= 0 && mOnItemClick) mOnItemClick(index, raw->key, raw->connection.button);
      },
      L"GroupButtons");
}

int GroupButtons::FindKey(const std::wstring& key) const {
  for (size_t i = 0; i < mItems.size(); ++i)
    if (mItems[i]->key == key) return static_cast<int>(i);
  return -1;
}

int GroupButtons::FindButton(const host::Ptr<host::CommandBarControl>& button) const {
  for (size_t i = 0; i < mItems.size(); ++i)
    if (mItems[i]->connection.button == button || mItems[i]->connection.button->Identity() == button->Identity())
      return static_cast<int>(i);
  return -1;
}

void GroupButtons::Select(int index) {
  if (index < 0 || index >= Count()) return;
  for (int i = 0; i < Count(); ++i) {
    const int state = i == index ? host::msoButtonDown : host::msoButtonUp;
    host::CommandBarControl& b = *mItems[static_cast<size_t>(i)]->connection.button;
    if (b.State() != state) b.SetState(state);
  }
  mSelected = index;
}

void GroupButtons::Refind(const std::function<host::Ptr<host::CommandBarControl>(const std::wstring& tag)>& find) {
  for (auto& item : mItems) item->connection.Rebind(find(item->tag));
}

void GroupButtons::Clear() {
  for (auto& item : mItems) {
    if (!item->connection.Disconnect()) LOG_WARNING(L"GroupButtons", L"DispEventUnadvise FAIL " + item->key);
  }
  mItems.clear();
  mSelected = -1;
}

}  // namespace menu
