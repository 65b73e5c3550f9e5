#include "core/ordered_work.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
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
    // One long-lived child per worker, never this process.
    EXPECT_EQ(workers.size(), static_cast<std::size_t>(jobs));
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
  // Every worker process was reaped.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
}

// A worker process takes its next task when it answers: a slow task holds up only its
// own worker, and the worker that dies is replaced by one that goes on.
TEST(OrderedWorkTest, WorkerProcessesTakeTasksAsTheyComeAndADeadOneIsReplaced) {
  constexpr int kTasks = 30;
  int produced = 0;
  std::vector<std::string> answers;
  std::vector<std::string> stopped;
  RunOrdered<int>(
      2, WorkerKind::Processes,
      [&](int& task) {
        task = produced++;
        return task < kTasks;
      },
      [](const int& task, int worker) -> std::string {
        if (task == 0) std::this_thread::sleep_for(std::chrono::milliseconds(600));
        if (task == 20) std::abort();
        return std::to_string(worker) + " " + std::to_string(::getpid());
      },
      [&](int&, WorkOutcome& outcome) {
        answers.push_back(outcome.text);
        stopped.push_back(outcome.stopped);
      });
  ASSERT_EQ(answers.size(), static_cast<std::size_t>(kTasks));
  EXPECT_NE(stopped[20].find("signal 6"), std::string::npos) << stopped[20];
  // While task 0 slept, the other worker took every task up to the one that killed it
  // but the one waiting behind task 0; the task that worker held next was not lost.
  int behind = 0;
  for (int task = 1; task < 20; ++task) behind += answers[static_cast<std::size_t>(task)] == answers[0];
  EXPECT_EQ(behind, 1);
  EXPECT_EQ(answers[1], answers[19]);
  for (int task = 0; task < kTasks; ++task) {
    if (task != 20) {
      EXPECT_EQ(stopped[static_cast<std::size_t>(task)], "") << task;
    }
  }
  // Its successor has the same worker number in another process.
  std::set<std::string> after(answers.begin() + 21, answers.end());
  after.erase(answers[0]);
  ASSERT_EQ(after.size(), 1u);
  const std::string successor = *after.begin();
  EXPECT_EQ(successor.substr(0, 2), answers[1].substr(0, 2));
  EXPECT_NE(successor, answers[1]);
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
}

// Resident memory of this process in bytes, from /proc/self/statm.
std::size_t ResidentBytes() {
  std::FILE* file = std::fopen("/proc/self/statm", "r");
  if (!file) return 0;
  unsigned long size = 0, resident = 0;
  const int read = std::fscanf(file, "%lu %lu", &size, &resident);
  std::fclose(file);
  return read == 2 ? resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) : 0;
}

// A task that makes much garbage (a movie whose scripts build strings in a loop) must
// not leave the worker that large for the rest of its run: the next task starts at
// about the size the worker had before it.
TEST(OrderedWorkTest, AWorkerGivesBackWhatATaskFreed) {
  for (const int jobs : {1, 2}) {
    std::vector<std::size_t> before;
    int produced = 0;
    RunOrdered<int>(
        jobs, WorkerKind::Processes,
        [&](int& task) {
          task = produced++;
          return task < 6;
        },
        [](const int& task, int) -> std::string {
          const std::size_t resident = ResidentBytes();
          if (task % 2 == 0) {
            // 160 MB in small blocks, all freed again.
            std::vector<char*> blocks(160 * 1024);
            for (char*& block : blocks) {
              block = static_cast<char*>(std::malloc(1000));
              std::memset(block, 1, 1000);
            }
            // What the task keeps (a cache entry) lies above the garbage in the heap.
            static std::vector<void*> kept;
            kept.push_back(std::malloc(64));
            for (std::size_t i = 0; i < blocks.size(); i += 2) std::free(blocks[i]);
            for (std::size_t i = 1; i < blocks.size(); i += 2) std::free(blocks[i]);
          }
          return std::to_string(resident);
        },
        [&](int&, WorkOutcome& outcome) { before.push_back(std::stoull(outcome.text)); });
    ASSERT_EQ(before.size(), 6u);
    const std::size_t first = std::min(before[0], jobs == 1 ? before[0] : before[1]);
    for (std::size_t task = 2; task < before.size(); ++task)
      EXPECT_LT(before[task], first + (48u << 20)) << jobs << " jobs, task " << task;
  }
}

// A run that stops early (deliver threw) does not wait for a worker still busy with a
// long task: that worker is killed, and every worker is reaped.
TEST(OrderedWorkTest, AFailedDeliveryEndsTheWorkersAtOnce) {
  int produced = 0;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(RunOrdered<int>(
                   2, WorkerKind::Processes,
                   [&](int& task) {
                     task = produced++;
                     return task < 4;
                   },
                   [](const int& task, int) -> std::string {
                     if (task == 1) std::this_thread::sleep_for(std::chrono::seconds(30));
                     return "done";
                   },
                   [](int&, WorkOutcome&) { throw std::runtime_error("the disk is full"); }),
               std::runtime_error);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
}

// Tasks of their own type cross to the worker whole, bytes of every value included.
struct Job {
  std::string name;
  std::int64_t size = 0;
  bool flag = false;
  void Pack(TaskWriter& out) const {
    out.Text(name);
    out.Number(size);
    out.Number(flag);
  }
  bool Unpack(TaskReader& in) { return in.Text(name) && in.Number(size) && in.Number(flag); }
};

TEST(OrderedWorkTest, PackedTasksReachTheWorkerProcessWhole) {
  const std::vector<Job> jobs = {{std::string("a\0b\xff", 4), -5, true}, {"", INT64_MAX, false},
                                 {std::string(100000, 'x'), INT64_MIN, true}};
  std::size_t produced = 0;
  std::vector<std::string> answers;
  RunOrdered<Job>(
      2, WorkerKind::Processes,
      [&](Job& job) {
        if (produced == jobs.size()) return false;
        job = jobs[produced++];
        return true;
      },
      [](const Job& job, int) {
        return std::to_string(job.name.size()) + ":" + job.name.substr(0, 4) + ":" + std::to_string(job.size) + ":" +
               (job.flag ? "yes" : "no");
      },
      [&](Job&, WorkOutcome& outcome) { answers.push_back(outcome.stopped + outcome.text); });
  EXPECT_EQ(answers, (std::vector<std::string>{std::string("4:a\0b\xff:-5:yes", 13),
                                               "0::9223372036854775807:no", "100000:xxxx:-9223372036854775808:yes"}));
  // A task cut short is refused, not half read.
  std::string bytes = detail::PackTask(jobs[0]);
  Job job;
  EXPECT_TRUE(detail::UnpackTask(bytes, job));
  EXPECT_FALSE(detail::UnpackTask(std::string_view(bytes).substr(0, bytes.size() - 1), job));
  EXPECT_FALSE(detail::UnpackTask(bytes + "x", job));
}

}  // namespace
}  // namespace vantrel::core
