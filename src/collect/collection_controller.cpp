#include "collect/collection_controller.h"

#include <utility>

#include "collect/item_worker.h"
#include "itemlist/item_list.h"

namespace mirabex {

CollectionController::CollectionController(CollectionServices services) : m_services(std::move(services)) {}

CollectionController::~CollectionController() {
  stop();
  joinWorkers();
}

StartOutcome CollectionController::start(const Text& savePath) {
  std::lock_guard startLock(m_startMutex);
  {
    std::lock_guard lock(m_mutex);
    if (m_run && m_run->state() != RunState::Idle) return StartOutcome::AlreadyRunning;
  }
  const int rows = m_services.list.count();
  if (rows == 0) return StartOutcome::EmptyList;
  if (savePath.empty()) return StartOutcome::NoSavePath;

  // Workers of a stopped run are only leaving their last step; they finish against
  // their own run object, and are joined here so that threads never pile up.
  joinWorkers();

  auto run = std::make_shared<CollectionRun>(m_services, rows, savePath);
  // Already there is fine, and a folder that cannot be made only means the pictures
  // will fail to be written.
  run->pictures().createFolder(run->outputFolder());
  m_services.host.runStateChanged(RunState::Running);

  {
    std::lock_guard lock(m_mutex);
    m_run = run;
    for (int number = 1; number <= CollectionRun::kWorkerCount; ++number) {
      m_threads.emplace_back([run, number] { ItemWorker(run, number).run(); });
    }
  }
  return StartOutcome::Started;
}

void CollectionController::pause() {
  if (auto current = run()) current->pause();
}

void CollectionController::resume() {
  if (auto current = run()) current->resume();
}

RunState CollectionController::pauseOrContinue() {
  auto current = run();
  if (!current) return RunState::Idle;
  if (current->state() == RunState::Paused) {
    current->resume();
  } else {
    current->pause();
  }
  return current->state();
}

void CollectionController::stop() {
  if (auto current = run()) current->stop();
}

RunState CollectionController::state() const {
  auto current = run();
  return current ? current->state() : RunState::Idle;
}

void CollectionController::wait() { joinWorkers(); }

std::shared_ptr<CollectionRun> CollectionController::run() const {
  std::lock_guard lock(m_mutex);
  return m_run;
}

void CollectionController::joinWorkers() {
  std::vector<std::jthread> threads;
  {
    std::lock_guard lock(m_mutex);
    threads.swap(m_threads);
  }
  for (std::jthread& thread : threads) {
    if (thread.joinable()) thread.join();
  }
}

}  // namespace mirabex
