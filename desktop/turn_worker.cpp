// desktop/turn_worker.cpp: the window's job queue -> one worker thread with the chat session.
// Leaves this file: TurnWorker's operations. Tested by tests/desktop/window_model_test.cpp.
#include "desktop/turn_worker.h"

#include <utility>

namespace mimoza {

TurnWorker::TurnWorker(Deliver deliverer)
    : deliver(std::move(deliverer)), thread([this] { Loop(); }) {}

TurnWorker::~TurnWorker() {
  *alive = false;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
    jobs.clear();
  }
  wake.notify_one();
  thread.join();
}

void TurnWorker::Post(Job job) {
  ++pending;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    jobs.push_back(std::move(job));
  }
  wake.notify_one();
}

ChatSession* TurnWorker::Running() {
  const std::lock_guard<std::mutex> lock(mutex);
  return running;
}

void TurnWorker::Loop() {
  // The session, and with it the engine and its dictionary, never leaves this thread.
  ChatSession session;
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex);
      wake.wait(lock, [this] { return stopping || !jobs.empty(); });
      if (stopping) return;
      job = std::move(jobs.front());
      jobs.pop_front();
      running = &session;
    }
    Completion done = job(session);
    {
      const std::lock_guard<std::mutex> lock(mutex);
      running = nullptr;
    }
    // Runs on the window's thread, where pending lives; a worker gone by then runs nothing.
    deliver([this, flag = alive, done = std::move(done)] {
      if (!*flag) return;
      --pending;
      if (done) done();
    });
  }
}

}  // namespace mimoza
