// Shared by the benchmark programs: timing a peer command or a piece of our
// own code in a child process, so each run reports its own wall time and
// peak resident memory.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Measurement {
    double seconds = 0.0;
    long peakKiB = 0;
    bool ok = false;
};

// Runs `work` in a forked child and measures it there.
inline Measurement measureInChild(const std::function<void()>& work) {
    std::fflush(nullptr);  // the child must not repeat what the parent has buffered
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
    return {std::chrono::duration<double>(end - start).count(), usage.ru_maxrss,
            WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

// Runs a command through the shell (for redirections) and measures it.
inline Measurement measureCommand(const std::string& command) {
    return measureInChild([&] { _exit(std::system(command.c_str()) == 0 ? 0 : 1); });
}

// The best of `runs` measurements: the least disturbed by the rest of the machine.
inline Measurement bestOf(int runs, const std::function<Measurement()>& measure) {
    Measurement best;
    for (int i = 0; i < runs; ++i) {
        const Measurement m = measure();
        if (i == 0 || m.seconds < best.seconds) best = m;
    }
    return best;
}

inline bool haveCommand(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string quoted(const std::filesystem::path& path) {
    std::string out = "'";
    for (char c : path.string()) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline void report(const char* label, const Measurement& m) {
    std::printf("%-34s %8.3f s   peak %7.1f MB%s\n", label, m.seconds, m.peakKiB / 1024.0, m.ok ? "" : "   (failed)");
}

inline void ratio(const char* label, const Measurement& ours, const Measurement& peer) {
    std::printf("%-34s %8.2fx\n", label, peer.seconds / ours.seconds);
}

}  // namespace bench
