#include "src/engine/server/AheadQueue.h"

#include <algorithm>

namespace engine_server {

bool AheadQueue::Announce(const std::vector<std::wstring>& texts, LONG mode) {
  std::lock_guard<std::mutex> lock(mMutex);
  for (const std::wstring& t : texts) {
    Entry entry;
    for (const auto& e : mAnnounced) {
      if (e->text == t && e->mode == mode && e->state != AheadEntry::State::Failed) {
        entry = e;
        break;
      }
    }
    if (!entry) {
      entry = std::make_shared<AheadEntry>();
      entry->text = t;
      entry->mode = mode;
      mQueue.push_back(entry);
    }
    ++entry->announced;
    mAnnounced.push_back(std::move(entry));
  }
  if (mWorking || mQueue.empty()) return false;
  mWorking = true;
  return true;
}

void AheadQueue::Drop() {
  std::lock_guard<std::mutex> lock(mMutex);
  for (auto& e : mAnnounced) --e->announced;
  mAnnounced.clear();
  ForgetUnwanted();
  mChanged.notify_all();
}

AheadQueue::Entry AheadQueue::Take(const std::wstring& text, LONG mode) {
  std::lock_guard<std::mutex> lock(mMutex);
  auto found = std::find_if(mAnnounced.begin(), mAnnounced.end(),
                            [&](const auto& e) { return e->text == text && e->mode == mode; });
  if (found == mAnnounced.end()) return nullptr;
  Entry entry = *found;
  for (auto it = mAnnounced.begin(); it != found; ++it) --(*it)->announced;
  mAnnounced.erase(mAnnounced.begin(), found + 1);
  --entry->announced;
  entry->asked = true;
  ForgetUnwanted();
  return entry;
}

bool AheadQueue::Wait(const AheadEntry& entry, const CancelToken& token) {
  token.OnCancel([self = shared_from_this()] {
    std::lock_guard<std::mutex> lock(self->mMutex);
    self->mChanged.notify_all();
  });
  std::unique_lock<std::mutex> lock(mMutex);
  while (!token.Cancelled() &&
         (entry.state == AheadEntry::State::Queued || entry.state == AheadEntry::State::Running)) {
    mChanged.wait_for(lock, std::chrono::milliseconds(50));
  }
  return !token.Cancelled();
}

bool AheadQueue::Answer(const AheadEntry& entry, TranslationResult* result) {
  std::lock_guard<std::mutex> lock(mMutex);
  if (entry.state != AheadEntry::State::Done) return false;
  result->Set(entry.translation, entry.groups);
  return true;
}

RequestOutcome AheadQueue::Work(const CancelToken& token, size_t most,
                                const std::function<BatchEnd(Batch&)>& translate) {
  for (;;) {
    Batch batch;
    {
      std::lock_guard<std::mutex> lock(mMutex);
      if (!token.Cancelled()) FillLocked(&batch, most);
      if (batch.empty()) {
        StopWorking();
        return token.Cancelled() ? RequestOutcome::Cancelled() : RequestOutcome::Done();
      }
    }
    const BatchEnd end = translate(batch);
    std::lock_guard<std::mutex> lock(mMutex);
    for (const auto& e : batch) {
      if (e->state != AheadEntry::State::Running) continue;
      e->state = AheadEntry::State::Failed;
      e->timedOut = end == BatchEnd::TimedOut;
    }
    mChanged.notify_all();
    if (token.Cancelled() || end == BatchEnd::Stop) {
      StopWorking();
      return token.Cancelled() ? RequestOutcome::Cancelled() : RequestOutcome::Done();
    }
  }
}

void AheadQueue::Fill(Batch* batch, size_t size) {
  std::lock_guard<std::mutex> lock(mMutex);
  FillLocked(batch, size);
}

void AheadQueue::FillLocked(Batch* batch, size_t size) {
  while (!mQueue.empty() && batch->size() < size) {
    batch->push_back(std::move(mQueue.front()));
    mQueue.pop_front();
    batch->back()->state = AheadEntry::State::Running;
  }
}

void AheadQueue::Settle(AheadEntry& entry, std::wstring translation, std::vector<WordCorrespondence> groups) {
  std::lock_guard<std::mutex> lock(mMutex);
  entry.translation = std::move(translation);
  entry.groups = std::move(groups);
  entry.state = AheadEntry::State::Done;
  mChanged.notify_all();
}

// Takes the queued entries nobody wants any more out of the worker's way.
void AheadQueue::ForgetUnwanted() {
  std::erase_if(mQueue, [](const auto& e) {
    if (e->Wanted()) return false;
    e->state = AheadEntry::State::Failed;
    return true;
  });
}

// Ends the worker's turn. Entries it leaves behind would wait for ever; the
// requests that want them work alone instead.
void AheadQueue::StopWorking() {
  for (auto& e : mQueue) e->state = AheadEntry::State::Failed;
  mQueue.clear();
  std::erase_if(mAnnounced, [](const auto& e) { return e->state == AheadEntry::State::Failed; });
  mWorking = false;
  mChanged.notify_all();
}

}  // namespace engine_server
