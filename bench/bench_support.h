// Shared by the benchmark programs: timing a peer command or a piece of our
// own code in a child process, so each run reports its own wall time and
// peak resident memory, and the folder that holds the generated files.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace bench {

struct Measurement {
    double seconds = 0.0;
    long peakKiB = 0;
    bool ok = false;
    // What the child and its own children read: through read(2) and the
    // like, and from the storage device (0 where the system does not say).
    double readBytes = 0.0;
    double deviceBytes = 0.0;
};

// This process's read counters, which include those of its children once
// they have been waited for.
inline std::pair<double, double> readCounters() {
    std::ifstream io("/proc/self/io");
    double chars = 0.0, device = 0.0, value = 0.0;
    for (std::string name; io >> name >> value;) {
        if (name == "rchar:") chars = value;
        if (name == "read_bytes:") device = value;
    }
    return {chars, device};
}

// Runs `work` in a forked child and measures it there.
inline Measurement measureInChild(const std::function<void()>& work) {
    std::fflush(nullptr);  // the child must not repeat what the parent has buffered
    const auto [charsBefore, deviceBefore] = readCounters();
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        work();
        std::fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    const auto [charsAfter, deviceAfter] = readCounters();
    return {std::chrono::duration<double>(end - start).count(), usage.ru_maxrss,
            WIFEXITED(status) && WEXITSTATUS(status) == 0, charsAfter - charsBefore, deviceAfter - deviceBefore};
}

// Runs a program with its arguments to its end and measures it; the time
// includes starting the process.
inline Measurement measureProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    return measureInChild([&] {
        execvp(argv[0], argv.data());
        _exit(127);
    });
}

// Runs a command through the shell (for redirections) and measures it.
inline Measurement measureCommand(const std::string& command) {
    return measureProgram({"/bin/sh", "-c", command});
}

// The run of median time, the middle of what the machine gives, with the
// highest peak memory of all; ok only when every run was.
inline Measurement median(std::vector<Measurement> runs) {
    Measurement result;
    if (runs.empty()) return result;
    std::ranges::sort(runs, {}, &Measurement::seconds);
    result = runs[runs.size() / 2];
    result.peakKiB = std::ranges::max(runs, {}, &Measurement::peakKiB).peakKiB;
    result.ok = std::ranges::all_of(runs, &Measurement::ok);
    return result;
}

inline Measurement medianOf(int runs, const std::function<Measurement()>& measure) {
    std::vector<Measurement> measurements;
    for (int i = 0; i < runs; ++i) measurements.push_back(measure());
    return median(measurements);
}

// The system's load averages over 1, 5 and 15 minutes, as one line.
inline std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string line;
    std::getline(in, line);
    return line + "\n";
}

inline bool haveCommand(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string quoted(const std::filesystem::path& path) {
    std::string out = "'";
    for (char c : path.string()) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A folder of generated files, removed with them when the benchmark ends.
class ScratchFolder {
public:
    ScratchFolder(const std::filesystem::path& parent, const std::string& prefix)
        : path_(parent / (prefix + "-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void report(const char* label, const Measurement& m) {
    std::printf("%-34s %8.3f s   peak %7.1f MB%s\n", label, m.seconds, m.peakKiB / 1024.0, m.ok ? "" : "   (failed)");
}

inline void ratio(const char* label, const Measurement& ours, const Measurement& peer) {
    std::printf("%-34s %8.2fx\n", label, peer.seconds / ours.seconds);
}

}  // namespace bench
