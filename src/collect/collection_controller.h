#pragma once

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "collect/collection_run.h"

namespace mirabex {

enum class StartOutcome {
  Started,
  EmptyList,       // nothing to collect: nothing happens
  NoSavePath,      // "请检查保存的文件名是否正确！"
  AlreadyRunning,  // Start is not offered while a run is going on
};

// The run buttons: Start, Pause/Continue and Stop. Each Start makes a new
// CollectionRun with five fresh workers; the previous run's object stays readable
// (its counters keep their values) until the next Start.
class CollectionController {
 public:
  explicit CollectionController(CollectionServices services);
  // Stops a run that is still going and joins every worker thread.
  ~CollectionController();
  CollectionController(const CollectionController&) = delete;
  CollectionController& operator=(const CollectionController&) = delete;

  StartOutcome start(const Text& savePath);
  void pause();
  void resume();
  // Pauses a running run, resumes a paused one; returns the new state.
  RunState pauseOrContinue();
  // Does not wait for the workers: they leave at their next step.
  void stop();
  RunState state() const;

  // Blocks until every worker of the current run has ended (a completed run has then
  // written its CSV and told the host). For the command line and the tests.
  void wait();

  // The current or most recent run; null before the first Start.
  std::shared_ptr<CollectionRun> run() const;

 private:
  // Takes the threads out under the lock and joins them without it.
  void joinWorkers();

  CollectionServices m_services;
  std::mutex m_startMutex;     // one Start at a time
  mutable std::mutex m_mutex;  // guards the members below; never held while joining
  std::shared_ptr<CollectionRun> m_run;
  std::vector<std::jthread> m_threads;  // the workers of m_run, in start order
};

}  // namespace mirabex
