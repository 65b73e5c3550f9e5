// Work over many files on several cores with the results kept in input order: the
// tools hand each file to a worker (a thread, or a child process when the work is not
// safe to run twice in one process) and print the answers in the order the files came.
#pragma once

#include <algorithm>
#include <concepts>
#include <condition_variable>
#include <cstdint>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
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

// How a task reaches a worker process: its fields in a row, each a number or a text.
class TaskWriter {
 public:
  void Number(std::int64_t value);
  void Text(std::string_view text);
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

class TaskReader {
 public:
  explicit TaskReader(std::string_view bytes) : bytes_(bytes) {}
  bool Number(std::int64_t& value);
  template <typename Integer>
    requires(std::is_integral_v<Integer> || std::is_enum_v<Integer>)
  bool Number(Integer& value) {
    std::int64_t wide = 0;
    if (!Number(wide)) return false;
    value = static_cast<Integer>(wide);
    return true;
  }
  bool Text(std::string& text);
  // Whether every field was taken.
  bool Done() const { return bytes_.empty(); }

 private:
  std::string_view bytes_;
};

// Tasks that can go to a worker process: a whole number, a string, or a type with
// `void Pack(TaskWriter&) const` and `bool Unpack(TaskReader&)`.
template <typename Task>
concept PackableTask =
    std::is_integral_v<Task> || std::is_enum_v<Task> || std::is_same_v<Task, std::string> ||
    requires(const Task& from, Task& to, TaskWriter& writer, TaskReader& reader) {
      from.Pack(writer);
      { to.Unpack(reader) } -> std::convertible_to<bool>;
    };

namespace detail {

template <PackableTask Task>
std::string PackTask(const Task& task) {
  TaskWriter writer;
  if constexpr (std::is_same_v<Task, std::string>) writer.Text(task);
  else if constexpr (std::is_integral_v<Task> || std::is_enum_v<Task>) writer.Number(static_cast<std::int64_t>(task));
  else task.Pack(writer);
  return writer.Bytes();
}

template <PackableTask Task>
bool UnpackTask(std::string_view bytes, Task& task) {
  TaskReader reader(bytes);
  bool whole = false;
  if constexpr (std::is_same_v<Task, std::string>) whole = reader.Text(task);
  else if constexpr (std::is_integral_v<Task> || std::is_enum_v<Task>) whole = reader.Number(task);
  else whole = task.Unpack(reader);
  return whole && reader.Done();
}

// A worker process: its pid (-1 when there is none) and its end of the socket that
// carries tasks to it and answers back.
struct Child {
  int pid = -1;
  int fd = -1;
};
// Forks a worker that reads tasks from its socket one at a time, answers each with
// serve(task) and ends when the socket closes. The child first closes closeInChild (the
// other workers' sockets, so that each worker sees its own end). The caller's stdio
// buffers are flushed first.
Child ForkWorker(const std::vector<int>& closeInChild, const std::function<WorkOutcome(std::string_view task)>& serve);

// Gives memory the heap holds free back to the system when there is much of it, so that a
// long run costs what its largest task costs, not the sum of what tasks left free.
void ReturnFreedMemory();

// One task on a worker's socket; false when the worker is gone.
bool SendTask(int fd, std::string_view task);
// One answer on the socket: its length, whether the work stopped, and its text.
bool SendAnswer(int fd, const WorkOutcome& outcome);
// Takes the first whole answer off the front of pending; false when there is none yet.
bool TakeAnswer(std::string& pending, WorkOutcome& outcome);

// Waits until at least one of the children's sockets has data or ends (EINTR retried).
// Appends what was read to texts[i]; sets ended[i] (and closes the fd) when it closed.
void PollChildren(const std::vector<int>& fds, std::vector<std::string*>& texts, std::vector<bool>& ended);

// Reaps the child and says why it ended, "" when it exited normally.
std::string ReapWorker(int pid);
// Closes the worker's socket (which ends a worker waiting for a task), reaps it and
// clears child; says why it ended, as ReapWorker does. A busy worker (one whose answer
// nobody will read any more) is killed first.
std::string EndWorker(Child& child, bool busy = false);

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
// Processes: `jobs` worker processes are forked as the first tasks come and each takes
// tasks over its socket (the task must be a PackableTask), one at work and one waiting,
// so a slow task holds up only its own worker and at most one task behind it. A worker that dies costs only the task it was on: that
// task is delivered with `stopped` set and a new worker takes its place. The caller must
// have no other threads running (a fork copies only the calling thread) and must not
// start anything between the calls of produce that a forked child cannot inherit.
template <typename Task>
void RunOrdered(int jobs, WorkerKind kind, const std::function<bool(Task&)>& produce,
                const std::function<std::string(const Task&, int worker)>& work,
                const std::function<void(Task&, WorkOutcome&)>& deliver, std::size_t window = 0) {
  struct Slot {
    Task task{};
    WorkOutcome outcome;
    bool done = false;
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
      detail::ReturnFreedMemory();
    }
  }
  // Processes get a long window: a task that runs long (a movie whose scripts run to
  // their limit) holds back delivery, not the workers on the tasks after it.
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

  if constexpr (!PackableTask<Task>) {
    throw std::logic_error("these tasks cannot go to worker processes");
  } else {
    // Processes: each worker lives for many tasks and holds at most kDepth of them: the
    // one it is on and the next, so that it need not wait for this process to answer
    // (which on a busy machine may take a while) and a slow task holds back at most one
    // other. A worker retires (and a fresh one takes its place) after kTasksPerWorker
    // tasks, so whatever a movie leaves behind in it does not pile up over a long run.
    static constexpr std::size_t kDepth = 2;
    static constexpr std::size_t kTasksPerWorker = 1000;
    struct Worker {
      detail::Child child;
      std::deque<Slot*> tasks;  // given to it, without an answer yet, in order
      std::size_t given = 0;    // tasks given to this process
      std::string pending;      // bytes read that do not make a whole answer yet
    };
    std::vector<Worker> workers(static_cast<std::size_t>(jobs));
    std::deque<Slot*> ready;  // produced, not yet given to a worker
    // Once a fork fails (the process table is full) no more are tried: what is left runs
    // here, and a process that has run the work may no longer be safe to fork.
    bool canFork = true;
    const auto stop = [](Worker& worker) {
      worker.pending.clear();
      worker.given = 0;
      return detail::EndWorker(worker.child);
    };
    // Every worker is ended and reaped however the run ends (deliver may throw).
    struct Ending {
      std::vector<Worker>& workers;
      ~Ending() {
        for (Worker& worker : workers) detail::EndWorker(worker.child, !worker.tasks.empty());
      }
    } ending{workers};
    const auto start = [&](Worker& worker, int number) {
      std::vector<int> others;
      for (const Worker& other : workers)
        if (other.child.fd >= 0) others.push_back(other.child.fd);
      worker.child = detail::ForkWorker(others, [&, number](std::string_view bytes) {
        Task task{};
        WorkOutcome outcome;
        if (!detail::UnpackTask(bytes, task)) outcome.stopped = "the task did not reach the worker whole";
        else runGuarded(task, number, outcome);
        return outcome;
      });
      if (worker.child.pid < 0) canFork = false;
      return worker.child.pid >= 0;
    };
    // Gives the task to the worker, starting one when there is none or the last one is
    // gone; false when no worker process could take it.
    const auto hand = [&](Worker& worker, int number, Slot* slot) {
      const std::string bytes = detail::PackTask(slot->task);
      for (int attempt = 0; attempt < 2; ++attempt) {
        if (worker.child.pid < 0 && (!canFork || !start(worker, number))) return false;
        if (detail::SendTask(worker.child.fd, bytes)) {
          worker.tasks.push_back(slot);
          ++worker.given;
          return true;
        }
        if (!worker.tasks.empty()) return false;  // it ended while busy: that shows when its answers are read
        stop(worker);  // it ended while idle
      }
      return false;
    };
    for (;;) {
      // Produce a task ahead for each worker, so a worker that answers gets its next one
      // at once.
      while (more && slots.size() < window && ready.size() < workers.size()) {
        auto slot = std::make_unique<Slot>();
        if (!produce(slot->task)) {
          more = false;
          break;
        }
        ready.push_back(slot.get());
        slots.push_back(std::move(slot));
      }
      // One task for each worker first, then a second for each.
      for (std::size_t depth = 1; depth <= kDepth; ++depth) {
        for (std::size_t number = 0; number < workers.size() && !ready.empty(); ++number) {
          Worker& worker = workers[number];
          if (worker.tasks.size() >= depth) continue;
          if (worker.child.pid >= 0 && worker.given >= kTasksPerWorker) {
            if (!worker.tasks.empty()) continue;  // retiring: it gets nothing more
            stop(worker);
          }
          Slot* slot = ready.front();
          ready.pop_front();
          if (!hand(worker, static_cast<int>(number), slot)) {
            if (!worker.tasks.empty()) {
              ready.push_front(slot);
              continue;
            }
            runGuarded(slot->task, static_cast<int>(number), slot->outcome);
            slot->done = true;
          }
        }
      }
      while (!slots.empty() && slots.front()->done) {
        deliver(slots.front()->task, slots.front()->outcome);
        slots.pop_front();
      }
      if (slots.empty() && !more) break;
      std::vector<int> fds;
      std::vector<std::string*> texts;
      std::vector<Worker*> polled;
      for (Worker& worker : workers) {
        if (worker.child.fd < 0 || worker.tasks.empty()) continue;
        fds.push_back(worker.child.fd);
        texts.push_back(&worker.pending);
        polled.push_back(&worker);
      }
      if (polled.empty()) continue;
      std::vector<bool> ended(fds.size(), false);
      detail::PollChildren(fds, texts, ended);
      for (std::size_t i = 0; i < polled.size(); ++i) {
        Worker& worker = *polled[i];
        while (!worker.tasks.empty() && detail::TakeAnswer(worker.pending, worker.tasks.front()->outcome)) {
          worker.tasks.front()->done = true;
          worker.tasks.pop_front();
        }
        if (!ended[i]) continue;
        worker.child.fd = -1;  // closed by PollChildren
        const std::string reason = stop(worker);
        if (worker.tasks.empty()) continue;
        // The worker ended before the answer of the task it was on: that task is
        // reported; the one it held next never started and goes to another worker.
        Slot& lost = *worker.tasks.front();
        worker.tasks.pop_front();
        lost.outcome = {};
        lost.outcome.stopped = reason.empty() ? "the worker ended without an answer" : reason;
        lost.done = true;
        while (!worker.tasks.empty()) {
          ready.push_front(worker.tasks.back());
          worker.tasks.pop_back();
        }
      }
    }
  }
}

}  // namespace vantrel::core
