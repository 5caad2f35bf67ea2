// The Office command bars: menu bar, toolbars and their controls, with the
// click event a connected sink receives. Indexes count from 1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "src/host/HostTypes.h"
#include "src/platform/Picture.h"

namespace host {

// A button face; the Windows adapter turns it into an OLE picture.
using ButtonPicture = platform::Picture;

// Receives the Click event of a button it is connected to. The host calls
// it on the user-interface thread and cannot take an exception back: Click
// catches whatever its handler throws and reports it its own way.
class CommandBarButtonEvents {
 public:
  virtual ~CommandBarButtonEvents() = default;
  // cancelDefault may be set to stop the host's own action.
  virtual void Click(const Ptr<host::CommandBarControl>& control, bool& cancelDefault) noexcept = 0;
};

class CommandBars {
 public:
  virtual ~CommandBars() = default;
  virtual int Count() = 0;
  virtual Ptr<host::CommandBar> Item(int index) = 0;
  // By name ("Menu Bar", "Standard" ...); E_INVALIDARG when there is none.
  virtual Ptr<host::CommandBar> Item(const std::wstring& name) = 0;
  virtual Ptr<host::CommandBar> Add(const std::wstring& name, int position, bool menuBar,
                                    bool temporary) = 0;
  // First control anywhere in the bars with this tag (type 0 and id 0 match any); null when none.
  virtual Ptr<host::CommandBarControl> FindControl(int type, int id, const std::wstring& tag,
                                                   bool visibleOnly) = 0;
  virtual std::vector<Ptr<host::CommandBarControl>> FindControls(int type, int id, const std::wstring& tag) = 0;
};

class CommandBar {
 public:
  virtual ~CommandBar() = default;
  virtual std::wstring Name() = 0;
  virtual std::wstring NameLocal() = 0;
  virtual int Type() = 0;
  virtual bool BuiltIn() = 0;
  virtual int Index() = 0;
  virtual Ptr<host::CommandBarControls> Controls() = 0;
  virtual Ptr<host::CommandBarControl> FindControl(int type, int id, const std::wstring& tag,
                                                   bool visibleOnly, bool recursive) = 0;
  virtual bool Visible() = 0;
  virtual void SetVisible(bool v) = 0;
  virtual bool Enabled() = 0;
  virtual void SetEnabled(bool v) = 0;
  virtual int Position() = 0;
  virtual void SetPosition(int v) = 0;
  virtual int Left() = 0;
  virtual int Top() = 0;
  virtual int Width() = 0;
  virtual int Height() = 0;
  virtual int RowIndex() = 0;
  virtual void SetLeft(int v) = 0;
  virtual void SetTop(int v) = 0;
  virtual void SetWidth(int v) = 0;
  virtual void SetHeight(int v) = 0;
  virtual void SetRowIndex(int v) = 0;
  // E_ACCESSDENIED for a built-in bar.
  virtual void Delete() = 0;
};

class CommandBarControls {
 public:
  virtual ~CommandBarControls() = default;
  virtual int Count() = 0;
  virtual Ptr<host::CommandBarControl> Item(int index) = 0;
  // before 0 appends; temporary controls vanish when the host ends.
  virtual Ptr<host::CommandBarControl> Add(int type, int id, const std::wstring& parameter, int before,
                                           bool temporary) = 0;
};

// Buttons and popups share this interface; popup-only members (Controls)
// and button-only members (Style, State, faces) throw DISP_E_MEMBERNOTFOUND
// on the other kind, as late-bound calls do on the host.
class CommandBarControl {
 public:
  virtual ~CommandBarControl() = default;
  // Equal for two handles on the same control.
  virtual const void* Identity() = 0;
  virtual int Type() = 0;
  virtual int Id() = 0;
  virtual int Index() = 0;
  virtual bool BuiltIn() = 0;
  virtual Ptr<host::CommandBar> Parent() = 0;
  virtual std::wstring Caption() = 0;
  virtual void SetCaption(const std::wstring& v) = 0;
  virtual std::wstring Tag() = 0;
  virtual void SetTag(const std::wstring& v) = 0;
  virtual std::wstring TooltipText() = 0;
  virtual void SetTooltipText(const std::wstring& v) = 0;
  virtual std::wstring Parameter() = 0;
  virtual void SetParameter(const std::wstring& v) = 0;
  virtual std::wstring OnAction() = 0;
  virtual void SetOnAction(const std::wstring& v) = 0;
  virtual std::wstring ShortcutText() = 0;
  virtual void SetShortcutText(const std::wstring& v) = 0;
  virtual bool BeginGroup() = 0;
  virtual void SetBeginGroup(bool v) = 0;
  virtual bool Visible() = 0;
  virtual void SetVisible(bool v) = 0;
  virtual bool Enabled() = 0;
  virtual void SetEnabled(bool v) = 0;
  virtual int Priority() = 0;
  virtual void SetPriority(int v) = 0;
  virtual int OLEUsage() = 0;
  virtual void SetOLEUsage(int v) = 0;
  virtual int Left() = 0;
  virtual int Top() = 0;
  virtual int Width() = 0;
  virtual int Height() = 0;
  virtual void SetWidth(int v) = 0;
  virtual void SetHeight(int v) = 0;
  // Button members.
  virtual int Style() = 0;
  virtual void SetStyle(int v) = 0;
  virtual int State() = 0;
  virtual void SetState(int v) = 0;
  virtual int FaceId() = 0;
  virtual void SetFaceId(int v) = 0;
  virtual void SetPicture(const ButtonPicture& picture) = 0;
  virtual void SetMask(const ButtonPicture& mask) = 0;
  virtual ButtonPicture Picture() = 0;
  virtual ButtonPicture Mask() = 0;
  // Takes the face from a bitmap on the clipboard; E_FAIL when there is none.
  virtual void PasteFace() = 0;
  // Popup members.
  virtual Ptr<host::CommandBarControls> Controls() = 0;
  // Connects a sink to the button's click event; returns the cookie.
  virtual std::uint32_t Advise(const Ptr<host::CommandBarButtonEvents>& sink) = 0;
  // E_INVALIDARG (CONNECT_E_NOCONNECTION on the host) for an unknown cookie.
  virtual void Unadvise(std::uint32_t cookie) = 0;
  // Clicks the control: a button raises Click on every connected sink.
  virtual void Execute() = 0;
  virtual void Delete(bool temporary) = 0;
};

}  // namespace host
