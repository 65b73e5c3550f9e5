// Work over many files on several cores with the results kept in input order: the
// tools hand each file to a worker (a thread, or a child process when the work is not
// safe to run twice in one process) and print the answers in the order the files came.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::core {

// The number of cores this process may run on (at least 1): the default of "-j".
int DefaultJobs();

enum class WorkerKind {
  Threads,    // workers share the process; the work must be safe to run side by side
  Processes,  // each task runs in a child forked for it; the result comes back through a pipe
};

// What one task gave: the text its work returned, or why there is none.
struct WorkOutcome {
  std::string text;
  // "" when the work returned; otherwise what stopped it ("the worker was killed by
  // signal 11 (Segmentation fault)", an exception's text).
  std::string stopped;
};

namespace detail {

// A child running work(fd), which writes its answers to fd and returns false when it
// could not; returns the child's pid (-1 when fork failed) and the read end of the pipe.
// The caller's stdio buffers are flushed first.
struct Child {
  int pid = -1;
  int fd = -1;
};
Child ForkWorker(const std::function<bool(int fd)>& work);

// One answer on the pipe: its length, whether the work stopped, and its text.
bool SendAnswer(int fd, const WorkOutcome& outcome);
// Takes the first whole answer off the front of pending; false when there is none yet.
bool TakeAnswer(std::string& pending, WorkOutcome& outcome);

// Waits until at least one of the children's pipes has data or ends (EINTR retried).
// Appends what was read to texts[i]; sets ended[i] when the pipe closed.
void PollChildren(const std::vector<int>& fds, std::vector<std::string*>& texts, std::vector<bool>& ended);

// Reaps the child and says why it ended, "" when it exited normally.
std::string ReapWorker(int pid);

}  // namespace detail

// Runs tasks on `jobs` workers and delivers their outcomes in the order the tasks were
// produced. produce fills the next task and returns false when there is none (it runs
// on the calling thread, so it may read files, count and report progress); work runs
// on a worker with the worker's number (0 to jobs-1, for per-worker state); deliver
// runs on the calling thread, in task order, once per task. At most `window` tasks are
// produced and not yet delivered (0: four per worker thread, 2048 per worker process),
// so memory stays bounded however many tasks there are and a slow task holds back at
// most that many finished ones.
// jobs <= 1 runs each task in turn on the calling thread, without a worker.
// Processes: the caller must have no other threads running (a fork copies only the
// calling thread); each child takes several tasks in a row; a task whose child dies is
// delivered with `stopped` set, and the run goes on.
template <typename Task>
void RunOrdered(int jobs, WorkerKind kind, const std::function<bool(Task&)>& produce,
                const std::function<std::string(const Task&, int worker)>& work,
                const std::function<void(Task&, WorkOutcome&)>& deliver, std::size_t window = 0) {
  struct Slot {
    Task task{};
    WorkOutcome outcome;
    bool done = false;
    int worker = -1;  // process workers: the number lent to the child
    int pid = -1;
    int fd = -1;
  };
  const auto runGuarded = [&](const Task& task, int worker, WorkOutcome& outcome) {
    try {
      outcome.text = work(task, worker);
    } catch (const std::exception& error) {
      outcome.stopped = error.what();
    } catch (...) {
      outcome.stopped = "the work failed";
    }
  };
  if (jobs <= 1) {
    for (;;) {
      Slot slot;
      if (!produce(slot.task)) return;
      runGuarded(slot.task, 0, slot.outcome);
      deliver(slot.task, slot.outcome);
    }
  }
  // Processes get a long window: a task that runs long (a movie whose scripts run to
  // their limit) holds back delivery, not the children working on the tasks after it.
  if (window == 0) window = static_cast<std::size_t>(jobs) * (kind == WorkerKind::Processes ? 2048 : 4);
  if (window < static_cast<std::size_t>(jobs)) window = static_cast<std::size_t>(jobs);
  std::deque<std::unique_ptr<Slot>> slots;  // produced, not yet delivered, in task order
  bool more = true;

  if (kind == WorkerKind::Threads) {
    std::mutex mutex;
    std::condition_variable wake;      // a worker has a task or should stop
    std::condition_variable finished;  // a task is done
    std::deque<Slot*> queue;
    bool closing = false;
    std::vector<std::thread> workers;
    for (int number = 0; number < jobs; ++number) {
      workers.emplace_back([&, number] {
        for (;;) {
          Slot* slot = nullptr;
          {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] { return closing || !queue.empty(); });
            if (queue.empty()) return;
            slot = queue.front();
            queue.pop_front();
          }
          WorkOutcome outcome;
          runGuarded(slot->task, number, outcome);
          {
            const std::lock_guard lock(mutex);
            slot->outcome = std::move(outcome);
            slot->done = true;
          }
          finished.notify_one();
        }
      });
    }
    for (;;) {
      while (more && slots.size() < window) {
        auto slot = std::make_unique<Slot>();
        if (!produce(slot->task)) {
          more = false;
          break;
        }
        {
          const std::lock_guard lock(mutex);
          queue.push_back(slot.get());
        }
        slots.push_back(std::move(slot));
        wake.notify_one();
      }
      if (slots.empty()) break;
      {
        std::unique_lock lock(mutex);
        finished.wait(lock, [&] { return slots.front()->done; });
      }
      deliver(slots.front()->task, slots.front()->outcome);
      slots.pop_front();
    }
    {
      const std::lock_guard lock(mutex);
      closing = true;
    }
    wake.notify_all();
    for (std::thread& worker : workers) worker.join();
    return;
  }

  // Processes: a child takes a batch of tasks in a row (a fork per task costs more than
  // many a task: the child pays again for what the process sets up on first use), at
  // most `jobs` children at once. Each answer comes back as soon as it is ready, so a
  // child that dies costs only the task it was on; the rest of its batch goes to a new
  // child.
  struct Batch {
    std::vector<Slot*> slots;
    std::size_t next = 0;  // the first slot still without an answer
    int worker = 0;
    int pid = -1;
    int fd = -1;
    std::string pending;   // bytes read that do not make a whole answer yet
  };
  // Batches stay small: one slow task (a movie whose scripts run to their time limit)
  // holds up only the few tasks after it in its batch while the other children take
  // the rest, and a fork still serves many tasks.
  static constexpr std::size_t kMaxBatch = 32;
  const std::size_t batchSize =
      std::clamp<std::size_t>(window / (2 * static_cast<std::size_t>(jobs)), 1, kMaxBatch);
  std::vector<bool> busy(static_cast<std::size_t>(jobs), false);
  std::deque<Batch> running;
  const auto start = [&](Batch& batch) {
    const std::vector<Slot*> tasks(batch.slots.begin() + static_cast<std::ptrdiff_t>(batch.next), batch.slots.end());
    const int number = batch.worker;
    const detail::Child child = detail::ForkWorker([&](int fd) {
      for (Slot* slot : tasks) {
        WorkOutcome outcome;
        runGuarded(slot->task, number, outcome);
        if (!detail::SendAnswer(fd, outcome)) return false;
      }
      return true;
    });
    batch.pid = child.pid;
    batch.fd = child.fd;
    if (child.pid >= 0) return true;
    // No child to be had (the process table is full): the batch runs here.
    for (Slot* slot : tasks) {
      runGuarded(slot->task, number, slot->outcome);
      slot->done = true;
    }
    batch.next = batch.slots.size();
    return false;
  };
  for (;;) {
    while (more && running.size() < static_cast<std::size_t>(jobs) && slots.size() + batchSize <= window) {
      Batch batch;
      while (batch.slots.size() < batchSize) {
        auto slot = std::make_unique<Slot>();
        if (!produce(slot->task)) {
          more = false;
          break;
        }
        batch.slots.push_back(slot.get());
        slots.push_back(std::move(slot));
      }
      if (batch.slots.empty()) break;
      while (busy[static_cast<std::size_t>(batch.worker)]) ++batch.worker;
      if (start(batch)) {
        busy[static_cast<std::size_t>(batch.worker)] = true;
        running.push_back(std::move(batch));
      }
    }
    while (!slots.empty() && slots.front()->done) {
      deliver(slots.front()->task, slots.front()->outcome);
      slots.pop_front();
    }
    // Children that gave every answer are still waited for: they end, and are reaped.
    if (slots.empty() && !more && running.empty()) break;
    if (running.empty()) continue;
    std::vector<int> fds;
    std::vector<std::string*> texts;
    for (Batch& batch : running) {
      fds.push_back(batch.fd);
      texts.push_back(&batch.pending);
    }
    std::vector<bool> ended(fds.size(), false);
    detail::PollChildren(fds, texts, ended);
    std::size_t i = 0;
    for (auto it = running.begin(); it != running.end(); ++i) {
      Batch& batch = *it;
      while (batch.next < batch.slots.size() && detail::TakeAnswer(batch.pending, batch.slots[batch.next]->outcome))
        batch.slots[batch.next++]->done = true;
      if (!ended[i]) {
        ++it;
        continue;
      }
      const std::string reason = detail::ReapWorker(batch.pid);
      if (batch.next < batch.slots.size()) {
        // The child ended before this task's answer: the task is reported, the rest of
        // the batch goes on in a new child.
        Slot& lost = *batch.slots[batch.next++];
        lost.outcome = {};
        lost.outcome.stopped = reason.empty() ? "the worker ended without an answer" : reason;
        lost.done = true;
      }
      batch.pending.clear();
      if (batch.next < batch.slots.size() && start(batch)) {
        ++it;
        continue;
      }
      busy[static_cast<std::size_t>(batch.worker)] = false;
      it = running.erase(it);
    }
  }
}

}  // namespace vantrel::core
