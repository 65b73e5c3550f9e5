#include "core/ordered_work.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/socket.h>
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

std::string LengthBytes(std::size_t size) {
  const auto length = static_cast<std::uint32_t>(size);
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>((length >> (8 * i)) & 0xFF);
  return bytes;
}

bool ReadAll(int fd, char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, data + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

// The next task on a worker's socket; false when the socket closed.
bool ReadTask(int fd, std::string& task) {
  unsigned char head[4];
  if (!ReadAll(fd, reinterpret_cast<char*>(head), sizeof head)) return false;
  std::uint32_t length = 0;
  for (int i = 0; i < 4; ++i) length |= static_cast<std::uint32_t>(head[i]) << (8 * i);
  task.resize(length);
  return length == 0 || ReadAll(fd, task.data(), length);
}

}  // namespace

void TaskWriter::Number(std::int64_t value) {
  for (int i = 0; i < 8; ++i) bytes_ += static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF);
}

void TaskWriter::Text(std::string_view text) {
  Number(static_cast<std::int64_t>(text.size()));
  bytes_ += text;
}

bool TaskReader::Number(std::int64_t& value) {
  if (bytes_.size() < 8) return false;
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes_[static_cast<std::size_t>(i)])) << (8 * i);
  bytes_.remove_prefix(8);
  value = static_cast<std::int64_t>(bits);
  return true;
}

bool TaskReader::Text(std::string& text) {
  std::int64_t size = 0;
  if (!Number(size) || size < 0 || static_cast<std::uint64_t>(size) > bytes_.size()) return false;
  text.assign(bytes_.substr(0, static_cast<std::size_t>(size)));
  bytes_.remove_prefix(static_cast<std::size_t>(size));
  return true;
}

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

void ReturnFreedMemory() {
  // A movie whose scripts make much garbage in one frame can leave the heap a few
  // hundred megabytes large once it is freed; the allocator keeps such memory for the
  // next allocation unless asked. Only when there is much to give back: memory given
  // back after every ordinary movie is faulted in again by the next one, which cost a
  // third more time over the language suite with a 16 MB threshold.
  static constexpr std::size_t kKeptFree = 64u << 20;
  const struct mallinfo2 info = ::mallinfo2();
  if (info.fordblks > kKeptFree) ::malloc_trim(0);
}

Child ForkWorker(const std::vector<int>& closeInChild, const std::function<WorkOutcome(std::string_view task)>& serve) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return {};
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
    for (const int fd : closeInChild) ::close(fd);
    std::string task;
    bool sent = true;
    while (sent && ReadTask(ends[1], task)) {
      sent = SendAnswer(ends[1], serve(task));
      ReturnFreedMemory();
    }
    std::fflush(nullptr);
    // _exit: the parent's atexit handlers and static objects are not the child's to run.
    ::_exit(sent ? 0 : kSendFailed);
  }
  ::close(ends[1]);
  return {static_cast<int>(pid), ends[0]};
}

bool SendTask(int fd, std::string_view task) {
  std::string frame = LengthBytes(task.size());
  frame += task;
  std::size_t done = 0;
  while (done < frame.size()) {
    // MSG_NOSIGNAL: a worker that is gone is an answer (false), not a SIGPIPE.
    const ssize_t wrote = ::send(fd, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

bool SendAnswer(int fd, const WorkOutcome& outcome) {
  const std::string& text = outcome.stopped.empty() ? outcome.text : outcome.stopped;
  std::string frame = LengthBytes(text.size());
  frame += outcome.stopped.empty() ? '0' : '1';
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

std::string EndWorker(Child& child, bool busy) {
  if (busy && child.pid > 0) ::kill(child.pid, SIGKILL);
  if (child.fd >= 0) ::close(child.fd);
  const std::string reason = child.pid >= 0 ? ReapWorker(child.pid) : std::string();
  child = {};
  return reason;
}

}  // namespace detail

}  // namespace vantrel::core
