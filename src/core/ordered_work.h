// Work over many files on several cores with the results kept in input order: the
// tools hand each file to a worker (a thread, or a child process when the work is not
// safe to run twice in one process) and print the answers in the order the files came.
#pragma once

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

// A child running work(); returns its pid (-1 when fork failed) and the read end of
// the pipe that carries the text back. The caller's stdio buffers are flushed first.
struct Child {
  int pid = -1;
  int fd = -1;
};
Child ForkWorker(const std::function<std::string()>& work);

// Waits until at least one of the children's pipes has data or ends (EINTR retried).
// Appends what was read to texts[i]; sets ended[i] when the pipe closed.
void PollChildren(const std::vector<int>& fds, std::vector<std::string*>& texts, std::vector<bool>& ended);

// Reaps the child and says why it gave no answer ("" when it answered). A child that
// failed in its work sent the reason instead of the answer: text then becomes empty.
std::string ReapWorker(int pid, std::string& text);

}  // namespace detail

// Runs tasks on `jobs` workers and delivers their outcomes in the order the tasks were
// produced. produce fills the next task and returns false when there is none (it runs
// on the calling thread, so it may read files, count and report progress); work runs
// on a worker with the worker's number (0 to jobs-1, for per-worker state); deliver
// runs on the calling thread, in task order, once per task. At most `window` tasks are
// produced and not yet delivered (0: four per worker), so memory stays bounded however
// many tasks there are and a slow task holds back at most that many finished ones.
// jobs <= 1 runs each task in turn on the calling thread, without a worker.
// Processes: the caller must have no other threads running (a fork copies only the
// calling thread); a task whose child dies is delivered with `stopped` set, and the
// run goes on.
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
  if (window == 0) window = static_cast<std::size_t>(jobs) * 4;
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

  // Processes: a child per task, at most `jobs` at once.
  std::vector<bool> busy(static_cast<std::size_t>(jobs), false);
  int running = 0;
  for (;;) {
    while (more && running < jobs && slots.size() < window) {
      auto slot = std::make_unique<Slot>();
      if (!produce(slot->task)) {
        more = false;
        break;
      }
      int number = 0;
      while (busy[static_cast<std::size_t>(number)]) ++number;
      const Task& task = slot->task;
      const detail::Child child = detail::ForkWorker([&] {
        WorkOutcome outcome;
        runGuarded(task, number, outcome);
        if (!outcome.stopped.empty()) throw std::runtime_error(outcome.stopped);
        return outcome.text;
      });
      if (child.pid < 0) {
        // No child to be had (the process table is full): this task runs here.
        runGuarded(slot->task, number, slot->outcome);
        slot->done = true;
      } else {
        busy[static_cast<std::size_t>(number)] = true;
        ++running;
        slot->worker = number;
        slot->pid = child.pid;
        slot->fd = child.fd;
      }
      slots.push_back(std::move(slot));
    }
    while (!slots.empty() && slots.front()->done) {
      deliver(slots.front()->task, slots.front()->outcome);
      slots.pop_front();
    }
    if (slots.empty()) {
      if (!more) break;
      continue;
    }
    if (running == 0) continue;  // the front was done inline; deliver it next round
    std::vector<int> fds;
    std::vector<std::string*> texts;
    std::vector<Slot*> owners;
    for (const auto& slot : slots) {
      if (slot->fd < 0) continue;
      fds.push_back(slot->fd);
      texts.push_back(&slot->outcome.text);
      owners.push_back(slot.get());
    }
    std::vector<bool> ended(fds.size(), false);
    detail::PollChildren(fds, texts, ended);
    for (std::size_t i = 0; i < owners.size(); ++i) {
      if (!ended[i]) continue;
      Slot& slot = *owners[i];
      slot.fd = -1;
      slot.outcome.stopped = detail::ReapWorker(slot.pid, slot.outcome.text);
      slot.done = true;
      busy[static_cast<std::size_t>(slot.worker)] = false;
      --running;
    }
  }
}

}  // namespace vantrel::core
