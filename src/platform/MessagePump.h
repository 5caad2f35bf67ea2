// The calling thread's message queue. Waiting code (the engine poll, the
// progress dialog's thread) drains it so that window messages, and tasks
// that other threads post, keep running while it waits.
//
// Windows: the thread's real message queue (PeekMessageW, TranslateMessage,
// DispatchMessageW); a posted task travels as a thread message.
// posix: a task queue per thread, created on the thread's first use.
//
// Every call is made by the thread that owns the queue, except
// PostThreadTask, which any thread may call. Nothing here throws.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

using ThreadTask = std::function<void()>;

// Identifies one thread's queue; 0 is no thread.
using MessageThreadId = std::uint64_t;

// The calling thread's queue, created when it has none yet; a thread must
// call this before other threads can post to it.
MessageThreadId CurrentMessageThread();

// Queues `task` to run on the thread `target` when it next drains or waits.
// False when that thread has no queue (never created, or the thread ended);
// the task is then dropped without running.
bool PostThreadTask(MessageThreadId target, ThreadTask task);

// Dispatches one waiting message or task of the calling thread; false when
// none was waiting. Never blocks.
bool DispatchOneMessage();

// Dispatches every message and task waiting for the calling thread, including
// those that arrive while it drains; returns how many ran. Never blocks.
int DrainMessageQueue();

// Waits up to `timeoutMs` milliseconds (negative: without limit) for a
// message or task of the calling thread and dispatches it. False on time-out.
bool WaitAndDispatchMessage(int timeoutMs);

// Gives up the rest of the time slice so that other threads run (Sleep(0)).
void YieldThread();

// Sleeps without dispatching anything.
void SleepMilliseconds(int ms);

}  // namespace platform
