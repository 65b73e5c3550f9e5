#include "core/ordered_work.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace vantrel::core {

namespace {

// Exit code of a child that could not write an answer to its pipe.
constexpr int kSendFailed = 3;

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

}  // namespace

int DefaultJobs() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

namespace detail {

Child ForkWorker(const std::function<bool(int fd)>& work) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return {};
  // What is buffered now belongs to the parent; the child must not print it again.
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(ends[0]);
    ::close(ends[1]);
    return {};
  }
  if (pid == 0) {
    ::close(ends[0]);
    const bool sent = work(ends[1]);
    std::fflush(nullptr);
    // _exit: the parent's atexit handlers and static objects are not the child's to run.
    ::_exit(sent ? 0 : kSendFailed);
  }
  ::close(ends[1]);
  return {static_cast<int>(pid), ends[0]};
}

bool SendAnswer(int fd, const WorkOutcome& outcome) {
  const std::string& text = outcome.stopped.empty() ? outcome.text : outcome.stopped;
  const auto length = static_cast<std::uint32_t>(text.size());
  std::string frame(5, '\0');
  for (int i = 0; i < 4; ++i) frame[static_cast<std::size_t>(i)] = static_cast<char>((length >> (8 * i)) & 0xFF);
  frame[4] = outcome.stopped.empty() ? '0' : '1';
  return WriteAll(fd, frame + text);
}

bool TakeAnswer(std::string& pending, WorkOutcome& outcome) {
  if (pending.size() < 5) return false;
  std::uint32_t length = 0;
  for (int i = 0; i < 4; ++i)
    length |= static_cast<std::uint32_t>(static_cast<unsigned char>(pending[static_cast<std::size_t>(i)])) << (8 * i);
  if (pending.size() - 5 < length) return false;
  outcome = {};
  (pending[4] == '0' ? outcome.text : outcome.stopped) = pending.substr(5, length);
  pending.erase(0, 5 + static_cast<std::size_t>(length));
  return true;
}

void PollChildren(const std::vector<int>& fds, std::vector<std::string*>& texts, std::vector<bool>& ended) {
  std::vector<pollfd> polled(fds.size());
  for (std::size_t i = 0; i < fds.size(); ++i) polled[i] = {fds[i], POLLIN, 0};
  while (::poll(polled.data(), polled.size(), -1) < 0) {
    if (errno != EINTR) return;
  }
  char buffer[65536];
  for (std::size_t i = 0; i < polled.size(); ++i) {
    if (polled[i].revents == 0) continue;
    ssize_t got;
    do {
      got = ::read(fds[i], buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
      texts[i]->append(buffer, static_cast<std::size_t>(got));
    } else {
      ::close(fds[i]);
      ended[i] = true;
    }
  }
}

std::string ReapWorker(int pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return "the worker was lost (" + std::string(std::strerror(errno)) + ")";
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    const char* name = ::strsignal(signal);
    return "the worker was killed by signal " + std::to_string(signal) + (name ? " (" + std::string(name) + ")" : "");
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == kSendFailed) return "the worker could not send its answer";
  return "the worker ended with exit code " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

}  // namespace detail

}  // namespace vantrel::core
