#include "core/ordered_work.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace vantrel::core {

namespace {

// Exit code of a child whose work threw: its pipe carries the reason.
constexpr int kWorkFailed = 3;

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

Child ForkWorker(const std::function<std::string()>& work) {
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
    int code = 0;
    std::string text;
    try {
      text = work();
    } catch (const std::exception& error) {
      text = error.what();
      code = kWorkFailed;
    } catch (...) {
      text = "the work failed";
      code = kWorkFailed;
    }
    const bool sent = WriteAll(ends[1], text);
    std::fflush(nullptr);
    // _exit: the parent's atexit handlers and static objects are not the child's to run.
    ::_exit(sent ? code : 4);
  }
  ::close(ends[1]);
  return {static_cast<int>(pid), ends[0]};
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

std::string ReapWorker(int pid, std::string& text) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return "the worker was lost (" + std::string(std::strerror(errno)) + ")";
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  std::string reason;
  if (WIFEXITED(status) && WEXITSTATUS(status) == kWorkFailed && !text.empty()) {
    reason = text;
  } else if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    const char* name = ::strsignal(signal);
    reason = "the worker was killed by signal " + std::to_string(signal) + (name ? " (" + std::string(name) + ")" : "");
  } else {
    reason = "the worker ended with exit code " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  text.clear();
  return reason;
}

}  // namespace detail

}  // namespace vantrel::core
