// CConnect: the object the host creates from the add-in's class and connects
// through its extensibility interface. A dual interface: the host may call
// the table directly or go through IDispatch, which the embedded type library
// drives. It holds no state of its own; connecting creates the process's
// AddinMain. User-interface thread only (apartment-threaded).
#pragma once

#include <objbase.h>
#include <oaidl.h>

namespace addin::win {

// {B65AD801-ABAF-11D0-BB8B-00A0C90F2744}
inline constexpr IID kIidExtensibility2 = {0xB65AD801, 0xABAF, 0x11D0, {0xBB, 0x8B, 0x00, 0xA0, 0xC9, 0x0F, 0x27, 0x44}};
// {03673A7E-14CB-4B46-A8C5-18E3A6C7C433}
inline constexpr CLSID kClsidConnect = {0x03673A7E, 0x14CB, 0x4B46, {0xA8, 0xC5, 0x18, 0xE3, 0xA6, 0xC7, 0xC4, 0x33}};

// The host's extensibility interface, positions 7 to 11 after IDispatch.
struct IExtensibility2 : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, LONG connectMode, IDispatch* addInInst,
                                                 SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDisconnection(LONG removeMode, SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) = 0;
};

// A new CConnect with one reference for the caller, asked for iid.
HRESULT CreateConnect(REFIID iid, void** object);

}  // namespace addin::win
