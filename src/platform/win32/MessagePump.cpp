#include "src/platform/MessagePump.h"

#include <windows.h>

namespace platform {
namespace {

// Thread messages carrying a posted task; the LPARAM owns a heap ThreadTask.
constexpr UINT kTaskMessage = WM_APP + 0x2F1;

void Dispatch(MSG& msg) {
  if (msg.hwnd == nullptr && msg.message == kTaskMessage) {
    ThreadTask* task = reinterpret_cast<ThreadTask*>(msg.lParam);
    try {
      if (task && *task) (*task)();
    } catch (...) {
    }
    delete task;
    return;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace

MessageThreadId CurrentMessageThread() {
  // A thread has no queue until it first calls a message function; peeking
  // creates it so that PostThreadMessageW to this thread succeeds.
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  return GetCurrentThreadId();
}

bool PostThreadTask(MessageThreadId target, ThreadTask task) {
  if (target == 0) return false;
  ThreadTask* owned = new ThreadTask(std::move(task));
  if (!PostThreadMessageW(/*idThread=*/static_cast<DWORD>(target), /*Msg=*/kTaskMessage,
                          /*wParam=*/0, /*lParam=*/reinterpret_cast<LPARAM>(owned))) {
    delete owned;
    return false;
  }
  return true;
}

bool DispatchOneMessage() {
  MSG msg;
  if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  Dispatch(msg);
  return true;
}

int DrainMessageQueue() {
  int count = 0;
  while (DispatchOneMessage()) ++count;
  return count;
}

bool WaitAndDispatchMessage(int timeoutMs) {
  if (DispatchOneMessage()) return true;
  DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  DWORD started = GetTickCount();
  for (;;) {
    DWORD r = MsgWaitForMultipleObjectsEx(/*nCount=*/0, /*pHandles=*/nullptr, /*dwMilliseconds=*/wait,
                                          /*dwWakeMask=*/QS_ALLINPUT, /*dwFlags=*/MWMO_INPUTAVAILABLE);
    if (r == WAIT_TIMEOUT || r == WAIT_FAILED) return false;
    if (DispatchOneMessage()) return true;
    // Woken by input that another peek already took (sent messages run
    // inside PeekMessageW); wait for what is left of the time.
    if (timeoutMs >= 0) {
      DWORD spent = GetTickCount() - started;
      if (spent >= static_cast<DWORD>(timeoutMs)) return false;
      wait = static_cast<DWORD>(timeoutMs) - spent;
    }
  }
}

void YieldThread() { Sleep(0); }

void SleepMilliseconds(int ms) {
  if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

}  // namespace platform
