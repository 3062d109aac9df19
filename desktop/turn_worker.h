// desktop/turn_worker.h: jobs of the window -> one worker thread that owns the chat session (and
// so every use of the core), and each job's completion -> back to the window's thread.
// Leaves this file: TurnWorker. Tested by tests/desktop/window_model_test.cpp.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "desktop/window_model.h"

namespace mimoza {

class TurnWorker {
 public:
  // A job runs on the worker with the session and returns its completion, which runs on the
  // window's thread.
  using Completion = std::function<void()>;
  using Job = std::function<Completion(ChatSession&)>;
  // Deliver: hands a completion to the window's thread (thread-safe; the toolkit's idle queue).
  using Deliver = std::function<void(Completion)>;

  // The session is made on the worker, before the first job runs.
  explicit TurnWorker(Deliver deliver);
  TurnWorker(const TurnWorker&) = delete;
  TurnWorker& operator=(const TurnWorker&) = delete;
  // Waits for the running job; jobs not started are dropped, completions not run are not run.
  ~TurnWorker();

  // Post (window thread): queues a job; jobs run one at a time, in order.
  void Post(Job job);
  // Busy (window thread): a job was posted whose completion has not run yet.
  bool Busy() const { return pending > 0; }
  // DropCompletions (window thread): completions not run yet never run (their window is gone).
  void DropCompletions() { *alive = false; }
  // Running (window thread): the session of the running job, for the one thread-safe request
  // (AbandonTurn); null while none runs.
  ChatSession* Running();

 private:
  void Loop();

  Deliver deliver;
  int64_t pending = 0;                                         // window thread only
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);  // completions check it
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Job> jobs;
  bool stopping = false;
  ChatSession* running = nullptr;  // under mutex
  std::thread thread;              // last, so it starts once the rest is ready
};

}  // namespace mimoza
