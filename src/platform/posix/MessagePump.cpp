#include "src/platform/MessagePump.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {
namespace {

struct TaskQueue {
  std::mutex lock;
  std::condition_variable arrived;
  std::deque<ThreadTask> tasks;
};

// Queues are reachable by id from every thread; the map holds them only
// while their thread lives.
struct QueueDirectory {
  std::mutex lock;
  std::map<MessageThreadId, std::shared_ptr<TaskQueue>> queues;
  MessageThreadId next = 1;
};

QueueDirectory& Directory() {
  static QueueDirectory* directory = new QueueDirectory;  // outlives thread_local destructors
  return *directory;
}

struct ThreadQueueHolder {
  MessageThreadId id = 0;
  std::shared_ptr<TaskQueue> queue;
  ~ThreadQueueHolder() {
    if (id == 0) return;
    QueueDirectory& d = Directory();
    std::lock_guard<std::mutex> guard(d.lock);
    d.queues.erase(id);
  }
};

thread_local ThreadQueueHolder tHolder;

TaskQueue& OwnQueue() {
  if (!tHolder.queue) {
    auto queue = std::make_shared<TaskQueue>();
    QueueDirectory& d = Directory();
    std::lock_guard<std::mutex> guard(d.lock);
    tHolder.id = d.next++;
    tHolder.queue = queue;
    d.queues[tHolder.id] = queue;
  }
  return *tHolder.queue;
}

bool TakeOne(TaskQueue& q, ThreadTask& out) {
  std::lock_guard<std::mutex> guard(q.lock);
  if (q.tasks.empty()) return false;
  out = std::move(q.tasks.front());
  q.tasks.pop_front();
  return true;
}

void RunTask(ThreadTask& task) {
  // A task that throws must not take the waiting thread down with it; a
  // window procedure cannot throw into the message loop either.
  try {
    if (task) task();
  } catch (...) {
  }
}

}  // namespace

MessageThreadId CurrentMessageThread() {
  OwnQueue();
  return tHolder.id;
}

bool PostThreadTask(MessageThreadId target, ThreadTask task) {
  std::shared_ptr<TaskQueue> queue;
  {
    QueueDirectory& d = Directory();
    std::lock_guard<std::mutex> guard(d.lock);
    auto it = d.queues.find(target);
    if (it == d.queues.end()) return false;
    queue = it->second;
  }
  {
    std::lock_guard<std::mutex> guard(queue->lock);
    queue->tasks.push_back(std::move(task));
  }
  queue->arrived.notify_one();
  return true;
}

bool DispatchOneMessage() {
  ThreadTask task;
  if (!TakeOne(OwnQueue(), task)) return false;
  RunTask(task);
  return true;
}

int DrainMessageQueue() {
  int count = 0;
  while (DispatchOneMessage()) ++count;
  return count;
}

bool WaitAndDispatchMessage(int timeoutMs) {
  TaskQueue& q = OwnQueue();
  ThreadTask task;
  {
    std::unique_lock<std::mutex> guard(q.lock);
    auto ready = [&] { return !q.tasks.empty(); };
    if (timeoutMs < 0) {
      q.arrived.wait(guard, ready);
    } else if (!q.arrived.wait_for(guard, std::chrono::milliseconds(timeoutMs), ready)) {
      return false;
    }
    task = std::move(q.tasks.front());
    q.tasks.pop_front();
  }
  RunTask(task);
  return true;
}

void YieldThread() { std::this_thread::yield(); }

void SleepMilliseconds(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace platform
