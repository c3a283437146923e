// A source that disappears after the writer's analysis and before it reads
// the file for copying (a card pulled, another tool moving takes). This
// binary interposes fopen to remove the file just before a chosen opening.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "quillon/quillon.h"
#include "wav_builder.h"

namespace {

std::string vanishingPath;
std::atomic<int> opensUntilVanish{-1};

void maybeVanish(const char* path) {
    if (opensUntilVanish.load() < 0 || vanishingPath != path) return;
    if (opensUntilVanish-- == 0) ::unlink(path);
}

template <class Fn>
Fn realFunction(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" FILE* fopen(const char* path, const char* mode) {
    maybeVanish(path);
    static const auto real = realFunction<FILE* (*)(const char*, const char*)>("fopen");
    return real(path, mode);
}

extern "C" FILE* fopen64(const char* path, const char* mode) {
    maybeVanish(path);
    static const auto real = realFunction<FILE* (*)(const char*, const char*)>("fopen64");
    return real(path, mode);
}

namespace {

using namespace quillon::testing;
namespace fs = std::filesystem;

TEST(SourceVanishes, BetweenTheAnalysisAndTheCopy) {
    for (const bool overwrite : {false, true}) {
        TempDir dir;
        const auto source = dir / "take.wav";
        WavBuilder()
            .fmt({.channels = 3, .bitsPerSample = 16})
            .data(pcmFrames(16, {{100, 200}, {0, 0}, {300, 400}}))
            .write(source);
        vanishingPath = source.string();
        opensUntilVanish = 1;  // the analysis opens it first, the copy next
        try {
            quillon::compressPolyWav(source, overwrite, 0.001, {});
            ADD_FAILURE() << "a vanished source was reported as written";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Could not open source file");
        }
        opensUntilVanish = -1;
        EXPECT_TRUE(fs::is_empty(dir.path())) << "nothing is created for a vanished source";
    }
}

}  // namespace
