// vantrel-sweep: runs every verb of vantrel-tool over hostile variants of the corpus's
// movies, videos, projectors and pictures (and over files made here to attack single
// limits), each run under a CPU-time, wall-time and memory limit, and reports crashes,
// sanitizer reports, hangs, runs over the memory limit, failures without a message and
// changed inputs, by kind and by verb.
//
//   vantrel-sweep --tool PATH [--corpus DIR] [--work DIR] [--quick | --long]
//                 [--seconds N] [--memory MB] [--jobs N] [--seed N] [--files N]
//   vantrel-sweep --write-seeds DIR    (the fuzz targets' seed files)
//
// Exit code 0 when no run crashed, hung, went over the memory limit or changed its input;
// 1 otherwise; 2 for a usage error. Findings are kept in WORK/findings for replaying.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "robustness/mutations.h"

namespace fs = std::filesystem;
using vantrel::robustness::FileKind;

namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#elif defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

struct Options {
  std::string tool;
  std::string corpus;
  std::string work = "sweep-work";
  bool quick = true;
  int seconds = 10;
  long memoryMb = 768;
  int jobs = 2;
  std::uint64_t seed = 1;
  std::size_t files = 0;  // corpus files per kind in the long pass; 0: all
};

// One run: a verb over one input file.
struct Job {
  std::string verb;
  std::vector<std::string> args;  // "{IN}" and "{OUT}" are replaced per run
  std::string input;              // the file written for this run
  std::string label;              // source file, mutation kind and number
  // Where the input came from (to make its bytes again for a finding) and a digest of
  // them, to check the run left the input unchanged. Jobs do not hold the bytes: the
  // long pass has over a hundred thousand runs, and every child forked from a sweep that
  // holds a gigabyte starts with that gigabyte in its peak resident size.
  std::size_t source = 0, variant = 0;
  std::size_t digest = 0;
};

std::size_t Digest(std::string_view bytes) { return std::hash<std::string_view>{}(bytes); }

enum Outcome { kOk, kRefused, kSilent, kCrash, kSanitizer, kHang, kMemory, kChanged, kOutcomes };
constexpr const char* kOutcomeNames[kOutcomes] = {"ok", "refused", "silent", "crash", "sanitizer", "hang", "memory", "changed"};
bool IsFinding(Outcome o) { return o >= kCrash; }

struct Result {
  Outcome outcome = kOk;
  double seconds = 0;
  long maxRssMb = 0;
  std::string detail;
};

std::string ReadFile(const std::string& path, std::size_t limit = std::string::npos) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes;
  if (!in) return bytes;
  std::ostringstream all;
  all << in.rdbuf();
  bytes = all.str();
  if (bytes.size() > limit) bytes.resize(limit);
  return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

FileKind KindOf(const fs::path& path) {
  const std::string ext = path.extension().string();
  if (ext == ".flv") return FileKind::Video;
  if (ext == ".exe") return FileKind::Projector;
  if (ext == ".png") return FileKind::Picture;
  return FileKind::Movie;
}

// The verbs a file of this kind goes through; with their arguments.
std::vector<std::pair<std::string, std::vector<std::string>>> VerbsFor(FileKind kind, const std::string& stub) {
  using V = std::vector<std::string>;
  switch (kind) {
    case FileKind::Movie: {
      std::vector<std::pair<std::string, V>> verbs = {
          {"info", {"info", "--json", "{IN}"}},
          {"extract", {"extract", "{IN}", "{OUT}/res", "--all"}},
          // Scripts get a second a frame (not the movies' own 15): a mutant that loops
          // for ever stays within the run's processor time.
          {"render", {"render", "{IN}", "-o", "{OUT}/frame.png", "--frame", "2", "--script-timeout", "1"}},
          {"trace", {"trace", "{IN}", "--frames", "3", "--script-timeout", "1"}},
          {"decompress", {"decompress", "{IN}", "{OUT}/plain.swf"}},
      };
      if (!stub.empty()) verbs.push_back({"pack", {"pack", "{IN}", "{OUT}/out.exe", "--stub", stub}});
      return verbs;
    }
    case FileKind::Video:
      return {{"info", {"info", "--json", "{IN}"}}, {"extract", {"extract", "{IN}", "{OUT}/res"}}};
    case FileKind::Projector:
      return {{"info", {"info", "--json", "{IN}"}},
              {"unpack", {"unpack", "{IN}", "{OUT}/movie.swf", "--any-exe"}},
              {"extract", {"extract", "{IN}", "{OUT}/res", "--all"}}};
    case FileKind::Picture:
      return {{"image", {"image", "{IN}", "-o", "{OUT}/pixels.pam"}}, {"image", {"image", "{IN}", "-o", "{OUT}/p.jpg"}}};
  }
  return {};
}

// Corpus files of one kind, sorted, every step-th one up to count, smallest sizes first
// within the limit so the quick pass stays quick.
std::vector<fs::path> Pick(const std::vector<fs::path>& all, std::size_t count, std::uintmax_t maxSize) {
  std::vector<fs::path> fit;
  std::error_code ec;
  for (const fs::path& path : all)
    if (fs::file_size(path, ec) <= maxSize && !ec) fit.push_back(path);
  if (fit.size() <= count) return fit;
  std::vector<fs::path> picked;
  const double step = static_cast<double>(fit.size()) / static_cast<double>(count);
  for (std::size_t i = 0; i < count; ++i) picked.push_back(fit[static_cast<std::size_t>(i * step)]);
  return picked;
}

struct Running {
  pid_t pid;
  std::size_t job;
  std::chrono::steady_clock::time_point start;
  std::string outDir;
  std::string errFile;
};

pid_t Start(const Options& options, const Job& job, const std::string& outDir, const std::string& errFile,
            const std::string& home) {
  std::vector<std::string> args = {options.tool};
  for (std::string arg : job.args) {
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"{IN}", job.input}, {"{OUT}", outDir}}) {
      const auto at = arg.find(from);
      if (at != std::string::npos) arg.replace(at, from.size(), to);
    }
    args.push_back(arg);
  }
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  ::setpgid(0, 0);
  const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int null = ::open("/dev/null", O_RDWR);
  const int out = ::open((errFile + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::dup2(null, 0);
  ::dup2(out, 1);
  ::dup2(err, 2);
  rlimit cpu{static_cast<rlim_t>(options.seconds), static_cast<rlim_t>(options.seconds + 1)};
  ::setrlimit(RLIMIT_CPU, &cpu);
  rlimit core{0, 0};
  ::setrlimit(RLIMIT_CORE, &core);
  rlimit fileSize{static_cast<rlim_t>(4) << 30, static_cast<rlim_t>(4) << 30};
  ::setrlimit(RLIMIT_FSIZE, &fileSize);
  if (!kSanitized) {
    // A backstop: the verdict comes from the peak resident size, but a run must not take
    // the machine down on the way there.
    const rlim_t bytes = static_cast<rlim_t>(options.memoryMb) * 4 << 20;
    rlimit space{bytes, bytes};
    ::setrlimit(RLIMIT_AS, &space);
  }
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  ::setenv("ASAN_OPTIONS", "detect_leaks=0:allocator_may_return_null=1", 1);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

Result Judge(const Options& options, const Job& job, int status, const rusage& usage, double seconds, bool killed,
             const std::string& errFile) {
  Result result;
  result.seconds = seconds;
  result.maxRssMb = usage.ru_maxrss / 1024;
  const std::string err = ReadFile(errFile, 64 * 1024);
  const long memoryLimit = kSanitized ? options.memoryMb * 2 : options.memoryMb;
  const bool sanitizer = err.find("ERROR: AddressSanitizer") != std::string::npos ||
                         err.find("runtime error:") != std::string::npos ||
                         err.find("ERROR: LeakSanitizer") != std::string::npos;
  const bool outOfMemory = err.find("bad_alloc") != std::string::npos ||
                           err.find("out of memory") != std::string::npos ||
                           err.find("allocation-size-too-big") != std::string::npos;
  if (sanitizer && !outOfMemory) {
    result.outcome = kSanitizer;
    const auto line = err.find("ERROR:") != std::string::npos ? err.find("ERROR:") : err.find("runtime error:");
    result.detail = err.substr(line, err.find('\n', line) - line);
  } else if (killed || (WIFSIGNALED(status) && (WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGKILL))) {
    result.outcome = kHang;
    result.detail = "over " + std::to_string(options.seconds) + " s";
  } else if (outOfMemory || result.maxRssMb > memoryLimit) {
    result.outcome = kMemory;
    result.detail = std::to_string(result.maxRssMb) + " MB";
  } else if (WIFSIGNALED(status)) {
    result.outcome = kCrash;
    result.detail = std::string("signal ") + strsignal(WTERMSIG(status));
  } else if (WEXITSTATUS(status) == 0) {
    result.outcome = kOk;
  } else {
    // `info --json` gives its reasons on standard output.
    const bool said = !err.empty() || !ReadFile(errFile + ".out", 1).empty();
    result.outcome = said ? kRefused : kSilent;
    if (!said) result.detail = "exit " + std::to_string(WEXITSTATUS(status)) + " without a message";
  }
  if (!IsFinding(result.outcome) && Digest(ReadFile(job.input)) != job.digest) {
    result.outcome = kChanged;
    result.detail = "the input file changed";
  }
  return result;
}

int Usage() {
  std::fprintf(stderr,
               "usage: vantrel-sweep --tool PATH [--corpus DIR] [--work DIR] [--quick | --long]\n"
               "                     [--seconds N] [--memory MB] [--jobs N] [--seed N] [--files N]\n"
               "       vantrel-sweep --write-seeds DIR\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool value = i + 1 < argc;
    if (arg == "--tool" && value) options.tool = argv[++i];
    else if (arg == "--corpus" && value) options.corpus = argv[++i];
    else if (arg == "--work" && value) options.work = argv[++i];
    else if (arg == "--quick") options.quick = true;
    else if (arg == "--long") options.quick = false;
    else if (arg == "--seconds" && value) options.seconds = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--memory" && value) options.memoryMb = std::max(64L, std::atol(argv[++i]));
    else if (arg == "--jobs" && value) options.jobs = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--files" && value) options.files = std::strtoul(argv[++i], nullptr, 10);
    else if (arg == "--seed" && value) options.seed = std::strtoull(argv[++i], nullptr, 10);
    else if (arg == "--write-seeds" && value) {
      // Writes the fuzzers' starting files (and the hostile files, which make good ones).
      const std::string folder = argv[++i];
      std::error_code ec;
      fs::create_directories(folder, ec);
      auto seeds = vantrel::robustness::SeedFiles();
      for (auto& file : vantrel::robustness::HostileFiles())
        if (file.second.size() <= 64 * 1024) seeds.push_back(std::move(file));
      for (const auto& [name, bytes] : seeds) WriteFile(folder + "/" + name, bytes);
      std::printf("%zu seed files in %s\n", seeds.size(), folder.c_str());
      return 0;
    } else return Usage();
  }
  if (options.tool.empty() || !fs::exists(options.tool)) return Usage();
  // A sanitizer build runs several times slower: its runs get three times the time.
  if (kSanitized) options.seconds *= 3;
  options.tool = fs::absolute(options.tool).string();

  std::error_code ec;
  fs::remove_all(options.work, ec);
  const std::string work = fs::absolute(options.work).string();
  const std::string inputs = work + "/inputs", outputs = work + "/out", home = work + "/home",
                    findings = work + "/findings";
  for (const std::string& folder : {inputs, outputs, home, findings}) fs::create_directories(folder, ec);
  // pack takes a stub of our own making: a small Windows executable with a version resource.
  const std::string stub = work + "/stub.exe";
  for (const auto& [name, bytes] : vantrel::robustness::SeedFiles())
    if (name == "stub.exe") WriteFile(stub, bytes);

  // Sources: the corpus's files by kind, then the files made here.
  std::map<FileKind, std::vector<fs::path>> corpus;
  if (!options.corpus.empty() && fs::is_directory(options.corpus)) {
    for (const auto& entry : fs::recursive_directory_iterator(options.corpus, ec)) {
      const fs::path& path = entry.path();
      const std::string ext = path.extension().string();
      const std::string name = path.filename().string();
      if (ext == ".swf" || ext == ".flv" || ext == ".exe") corpus[KindOf(path)].push_back(path);
      else if (name == "output.expected.png") corpus[FileKind::Picture].push_back(path);
    }
    for (auto& [kind, files] : corpus) std::sort(files.begin(), files.end());
  } else {
    std::printf("sweep: corpus not found (%s); sweeping the files made here only\n",
                options.corpus.empty() ? "none given" : options.corpus.c_str());
  }

  struct Source {
    std::string name;
    std::string bytes;
    FileKind kind;
    int mutants;  // 0: the file itself
  };
  std::vector<Source> sources;
  const std::map<FileKind, std::pair<std::size_t, int>> quickShare = {
      {FileKind::Movie, {50, 4}}, {FileKind::Video, {10, 4}}, {FileKind::Projector, {15, 4}}, {FileKind::Picture, {8, 3}}};
  for (const auto& [kind, files] : corpus) {
    const auto [count, mutants] = quickShare.at(kind);
    const std::vector<fs::path> picked =
        options.quick ? Pick(files, count, 256 * 1024)
                      : Pick(files, options.files ? options.files : files.size(), 16u << 20);
    for (const fs::path& path : picked)
      sources.push_back({fs::relative(path, options.corpus, ec).string(), ReadFile(path.string()), kind,
                         options.quick ? mutants : 12});
  }
  for (auto& [name, bytes] : vantrel::robustness::HostileFiles())
    sources.push_back({"made/" + name, std::move(bytes), KindOf(name), 0});

  // Jobs: the quick pass gives each mutant one verb in turn (every verb of the kind for
  // the files made here); the long pass runs every verb on every mutant.
  std::vector<Job> jobs;
  std::uint64_t serial = 0;
  for (std::size_t s = 0; s < sources.size(); ++s) {
    const Source& source = sources[s];
    std::vector<vantrel::robustness::Mutant> variants;
    if (source.mutants == 0) variants.push_back({"made", source.bytes});
    else variants = vantrel::robustness::Mutate(source.bytes, source.kind, options.seed * 7919 + s, source.mutants);
    const auto verbs = VerbsFor(source.kind, stub);
    const std::string ext = fs::path(source.name).extension().string();
    for (std::size_t m = 0; m < variants.size(); ++m) {
      const std::string input = inputs + "/" + std::to_string(serial++) + ext;
      WriteFile(input, variants[m].bytes);
      const std::string label = source.name + " " + variants[m].kind + " #" + std::to_string(m);
      const std::size_t digest = Digest(variants[m].bytes);
      if (options.quick && source.mutants != 0) {
        const auto& [verb, args] = verbs[(s + m) % verbs.size()];
        jobs.push_back({verb, args, input, label, s, m, digest});
      } else {
        for (const auto& [verb, args] : verbs) jobs.push_back({verb, args, input, label, s, m, digest});
      }
    }
  }
  ::malloc_trim(0);  // the mutants are on disk now: the runs fork from a small sweep
  // A job's input as it was written (mutants are made again from their seed).
  const auto inputBytes = [&](const Job& job) {
    const Source& source = sources[job.source];
    if (source.mutants == 0) return source.bytes;
    auto variants = vantrel::robustness::Mutate(source.bytes, source.kind, options.seed * 7919 + job.source,
                                                source.mutants);
    return std::move(variants[job.variant].bytes);
  };

  std::printf("sweep: %zu runs of %s (%s pass; %d s CPU and %ld MB a run%s)\n", jobs.size(), options.tool.c_str(),
              options.quick ? "quick" : "long", options.seconds, options.memoryMb,
              kSanitized ? ", sanitizer build: doubled" : "");
  std::fflush(stdout);

  const auto started = std::chrono::steady_clock::now();
  std::vector<Result> results(jobs.size());
  std::vector<Running> running;
  std::size_t next = 0;
  const auto wallLimit = std::chrono::seconds(options.seconds * 4 + 10);
  while (next < jobs.size() || !running.empty()) {
    while (next < jobs.size() && running.size() < static_cast<std::size_t>(options.jobs)) {
      const std::string outDir = outputs + "/" + std::to_string(next);
      fs::create_directories(outDir, ec);
      const std::string errFile = outputs + "/" + std::to_string(next) + ".err";
      const pid_t pid = Start(options, jobs[next], outDir, errFile, home);
      running.push_back({pid, next, std::chrono::steady_clock::now(), outDir, errFile});
      ++next;
    }
    bool reaped = false;
    for (auto it = running.begin(); it != running.end();) {
      int status = 0;
      rusage usage{};
      const bool overdue = std::chrono::steady_clock::now() - it->start > wallLimit;
      if (overdue) ::kill(-it->pid, SIGKILL);
      const pid_t done = ::wait4(it->pid, &status, overdue ? 0 : WNOHANG, &usage);
      if (done != it->pid) {
        ++it;
        continue;
      }
      ::kill(-it->pid, SIGKILL);  // anything the run left behind in its group
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - it->start).count();
      Result& result = results[it->job];
      result = Judge(options, jobs[it->job], status, usage, seconds, overdue, it->errFile);
      if (IsFinding(result.outcome)) {
        const std::string keep = findings + "/" + kOutcomeNames[result.outcome] + "-" + jobs[it->job].verb + "-" +
                                 std::to_string(it->job) + fs::path(jobs[it->job].input).extension().string();
        WriteFile(keep, inputBytes(jobs[it->job]));
        std::printf("  %-9s %-10s %s: %s (%s)\n", kOutcomeNames[result.outcome], jobs[it->job].verb.c_str(),
                    jobs[it->job].label.c_str(), result.detail.c_str(), keep.c_str());
        std::fflush(stdout);
      }
      fs::remove_all(it->outDir, ec);
      fs::remove(it->errFile, ec);
      fs::remove(it->errFile + ".out", ec);
      it = running.erase(it);
      reaped = true;
    }
    if (!reaped) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  // Temporary files that no run removed: a verb that left one behind after ending.
  int leftovers = 0;
  for (const auto& entry : fs::recursive_directory_iterator(home, ec))
    if (entry.path().filename().string().find(".vantrel-") != std::string::npos) {
      std::printf("  leftover  %s\n", entry.path().c_str());
      ++leftovers;
    }

  std::map<std::string, std::array<int, kOutcomes>> byVerb;
  std::map<std::string, std::array<int, kOutcomes>> byMutation;
  std::array<int, kOutcomes> totals{};
  double slowest = 0;
  long largest = 0;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    ++byVerb[jobs[i].verb][results[i].outcome];
    const std::string label = jobs[i].label;
    const auto space = label.find(' ');
    ++byMutation[label.substr(space + 1, label.find(' ', space + 1) - space - 1)][results[i].outcome];
    ++totals[results[i].outcome];
    slowest = std::max(slowest, results[i].seconds);
    largest = std::max(largest, results[i].maxRssMb);
  }
  const auto table = [](const char* title, const std::map<std::string, std::array<int, kOutcomes>>& rows) {
    std::printf("%-12s", title);
    for (const char* name : kOutcomeNames) std::printf(" %9s", name);
    std::printf("\n");
    for (const auto& [name, counts] : rows) {
      std::printf("%-12s", name.c_str());
      for (int count : counts) std::printf(" %9d", count);
      std::printf("\n");
    }
  };
  table("verb", byVerb);
  table("mutation", byMutation);
  std::printf("sweep: %zu runs in %.0f s; slowest run %.1f s, largest %ld MB\n", jobs.size(), total, slowest, largest);
  int bad = leftovers;
  for (int o = kCrash; o < kOutcomes; ++o) bad += totals[o];
  std::printf("sweep: %d crashes, %d sanitizer reports, %d hangs, %d over the memory limit, %d changed inputs, "
              "%d leftover temporary files; %d failures without a message\n",
              totals[kCrash], totals[kSanitizer], totals[kHang], totals[kMemory], totals[kChanged], leftovers,
              totals[kSilent]);
  if (bad == 0) fs::remove_all(inputs, ec);
  return bad == 0 ? 0 : 1;
}
