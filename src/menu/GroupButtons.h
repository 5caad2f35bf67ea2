// One list of the menu or toolbar (option sets or translation modes): a
// button per entry, each with its click sink, and which entry is selected.
// User-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "src/host/Host.h"

namespace menu {

// A click sink that never lets anything reach the host.
class ClickSink : public host::CommandBarButtonEvents {
 public:
  explicit ClickSink(std::function<void()> onClick, std::wstring source)
      : mOnClick(std::move(onClick)), mSource(std::move(source)) {}
  void Click(const host::Ptr<host::CommandBarControl>& control, bool& cancelDefault) noexcept override;

 private:
  std::function<void()> mOnClick;
  std::wstring mSource;
};

// A button with its sink connection; the cookie is kNotConnected while
// nothing is connected.
struct ConnectedButton {
  static constexpr std::uint32_t kNotConnected = 0xFEFEFEFE;
  host::Ptr<host::CommandBarControl> button;
  host::Ptr<ClickSink> sink;
  std::uint32_t cookie = kNotConnected;

  void Connect(std::function<void()> onClick, const std::wstring& source);
  // False when the host refused to cut the connection (it is forgotten anyway).
  bool Disconnect();
  // The host may recreate a control behind the add-in's back: when `found`
  // (the control with this button's tag now) is another control, the sink
  // leaves the old one and is connected to it. A null `found` changes nothing.
  void Rebind(host::Ptr<host::CommandBarControl> found);
};

class GroupButtons;

struct GroupButtonItem {
  ConnectedButton connection;
  std::wstring key;
  std::wstring tag;  // the button's tag when it was added, to find it again
};

class GroupButtons {
 public:
  // Reaches the owner with the entry's index, key and button.
  using ItemClick =
      std::function<void(int index, const std::wstring& key, const host::Ptr<host::CommandBarControl>& button)>;

  explicit GroupButtons(ItemClick onItemClick) : mOnItemClick(std::move(onItemClick)) {}
  ~GroupButtons() { Clear(); }
  GroupButtons(const GroupButtons&) = delete;
  GroupButtons& operator=(const GroupButtons&) = delete;

  void Add(host::Ptr<host::CommandBarControl> button, std::wstring key);
  int Count() const { return static_cast<int>(mItems.size()); }
  // -1 when no entry has the key or the button.
  int FindKey(const std::wstring& key) const;
  int FindButton(const host::Ptr<host::CommandBarControl>& button) const;
  const GroupButtonItem& Item(int index) const { return *mItems.at(static_cast<size_t>(index)); }
  // -1 before anything was selected.
  int SelectedIndex() const { return mSelected; }
  // Shows the entry pressed and every other one up; an index outside the
  // list changes nothing.
  void Select(int index);
  // Cuts every sink connection and lets go of the buttons.
  void Clear();
  // Finds every entry's button again by its tag (ConnectedButton::Rebind).
  void Refind(const std::function<host::Ptr<host::CommandBarControl>(const std::wstring& tag)>& find);

 private:
  std::vector<std::unique_ptr<GroupButtonItem>> mItems;
  int mSelected = -1;
  ItemClick mOnItemClick;
};

}  // namespace menu
