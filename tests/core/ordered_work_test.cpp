#include "core/ordered_work.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::core {
namespace {

// Tasks that finish out of order (later ones sooner) must still come back in order,
// with at most `window` of them produced and not yet delivered.
void CheckOrder(WorkerKind kind, int jobs, std::size_t kWindow) {
  constexpr int kTasks = 40;
  int produced = 0;
  std::vector<int> delivered;
  std::size_t mostPending = 0;
  std::set<std::string> workers;
  RunOrdered<int>(
      jobs, kind,
      [&](int& task) {
        if (produced == kTasks) return false;
        task = produced++;
        mostPending = std::max(mostPending, static_cast<std::size_t>(produced) - delivered.size());
        return true;
      },
      [](const int& task, int worker) {
        std::this_thread::sleep_for(std::chrono::milliseconds((kTasks - task) % 7));
        return std::to_string(task * 3) + " " + std::to_string(worker) + " " + std::to_string(::getpid());
      },
      [&](int& task, WorkOutcome& outcome) {
        EXPECT_EQ(outcome.stopped, "");
        EXPECT_EQ(outcome.text.substr(0, outcome.text.find(' ')), std::to_string(task * 3));
        workers.insert(outcome.text.substr(outcome.text.find(' ') + 1));
        delivered.push_back(task);
      },
      kWindow);
  ASSERT_EQ(delivered.size(), static_cast<std::size_t>(kTasks));
  for (int i = 0; i < kTasks; ++i) EXPECT_EQ(delivered[static_cast<std::size_t>(i)], i);
  EXPECT_LE(mostPending, jobs <= 1 ? 1u : kWindow);
  EXPECT_GT(mostPending, jobs <= 1 ? 0u : 1u);
  const std::string self = " " + std::to_string(::getpid());
  if (jobs <= 1) {
    EXPECT_EQ(workers, (std::set<std::string>{"0" + self}));
  } else if (kind == WorkerKind::Threads) {
    for (const std::string& worker : workers) EXPECT_TRUE(worker.ends_with(self)) << worker;
  } else {
    // Children, never this process: one per task while the window allows one task per
    // child, fewer when each takes a batch.
    if (kWindow < 2 * static_cast<std::size_t>(jobs) * 2) EXPECT_EQ(workers.size(), static_cast<std::size_t>(kTasks));
    else EXPECT_LT(workers.size(), static_cast<std::size_t>(kTasks));
    EXPECT_GT(workers.size(), 2u);
    for (const std::string& worker : workers) EXPECT_FALSE(worker.ends_with(self)) << worker;
  }
}

TEST(OrderedWorkTest, ResultsComeBackInTaskOrderWithABoundedWindow) {
  CheckOrder(WorkerKind::Threads, 1, 6);
  CheckOrder(WorkerKind::Threads, 3, 6);
  CheckOrder(WorkerKind::Processes, 3, 6);
  CheckOrder(WorkerKind::Processes, 2, 16);
  EXPECT_GE(DefaultJobs(), 1);
}

TEST(OrderedWorkTest, AWorkerThatDiesOrFailsIsReportedAndTheRunGoesOn) {
  for (const WorkerKind kind : {WorkerKind::Threads, WorkerKind::Processes}) {
    int produced = 0;
    std::vector<WorkOutcome> outcomes;
    RunOrdered<int>(
        2, kind,
        [&](int& task) {
          task = produced++;
          return task < 6;
        },
        [kind](const int& task, int) -> std::string {
          if (task == 2) throw std::runtime_error("cannot read movie 2");
          if (task == 4 && kind == WorkerKind::Processes) std::raise(SIGKILL);
          return "done " + std::to_string(task);
        },
        [&](int&, WorkOutcome& outcome) { outcomes.push_back(outcome); });
    ASSERT_EQ(outcomes.size(), 6u);
    EXPECT_EQ(outcomes[2].stopped, "cannot read movie 2");
    EXPECT_EQ(outcomes[2].text, "");
    if (kind == WorkerKind::Processes) {
      EXPECT_NE(outcomes[4].stopped.find("killed by signal 9"), std::string::npos) << outcomes[4].stopped;
      EXPECT_EQ(outcomes[4].text, "");
    }
    EXPECT_EQ(outcomes[5].text, "done 5");
    EXPECT_EQ(outcomes[5].stopped, "");
  }
}

}  // namespace
}  // namespace vantrel::core
