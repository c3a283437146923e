// The two commands of quillon-cli, writing to the streams they are given.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "texts.h"

namespace quillon::cli {

inline constexpr int kAllDone = 0;
inline constexpr int kSomeFailed = 1;
inline constexpr int kUsageError = 2;

struct ScanOptions {
    double thresholdDb = ui::kSilenceThresholdDb;  // a track whose peak stays below is empty
    bool recursive = false;
    bool tracks = false;
    bool json = false;
    bool full = false;  // read every frame, so every peak is the take's
    std::filesystem::path folder;
};

struct StripOptions {
    double thresholdDb = ui::kSilenceThresholdDb;
    // Among the files given with the same track names in the same order,
    // remove a track only where it is empty in every one of them.
    bool uniform = false;
    bool recursive = false;
    bool overwrite = false;
    bool force = false;  // replace existing *_SLIM copies
    bool dryRun = false;
    bool json = false;
    std::vector<std::filesystem::path> paths;
};

// Progress on one self-overwriting line of standard error, only when it is
// a terminal: logs and pipes get no progress noise.
class Progress {
public:
    explicit Progress(bool enabled) : enabled_(enabled) {}
    void show(const std::string& text) const;
    void finish() const;

private:
    bool enabled_;
};

int runScan(const ScanOptions& options, const Progress& progress, std::ostream& out, std::ostream& err);
int runStrip(const StripOptions& options, const Progress& progress, std::ostream& out, std::ostream& err);

}  // namespace quillon::cli
