// Finding the polyphonic WAV files of a folder and analysing them in turn.

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "quillon/quillon.h"
#include "wav_reader.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

// ".wav", or ".bwf" as Pro Tools and several recorders name broadcast wave
// files, in any letter case.
bool hasWavExtension(const fs::path& file) {
    std::string extension = file.extension().string();
    // Byte-wise ASCII folding: the user's locale must not change which files are taken.
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return extension == ".wav" || extension == ".bwf";
}

// Dot names are hidden, among them the "._" companions that some file
// systems leave beside every file.
bool isHiddenName(const fs::path& file) {
    const std::string name = file.filename().string();
    return name.empty() || name.front() == '.';
}

// A regular file (a link to one counts; an entry whose status cannot be read
// does not) with a WAV file's name: the files that discovery opens.
bool isCandidate(const fs::directory_entry& entry) {
    std::error_code ignored;
    if (!entry.is_regular_file(ignored)) return false;
    const fs::path& file = entry.path();
    return hasWavExtension(file) && !isHiddenName(file);
}

bool isRealDirectory(const fs::directory_entry& entry) {
    std::error_code ignored;
    return entry.symlink_status(ignored).type() == fs::file_type::directory;
}

using CandidateVisitor = std::function<void(const fs::path& file)>;

void walkFlat(const fs::path& folder, const CandidateVisitor& visit) {
    std::error_code openError;
    // A folder that cannot be listed yields nothing; errors while advancing propagate.
    for (fs::directory_iterator it(folder, openError), end; it != end; ++it)
        if (isCandidate(*it)) visit(it->path());
}

// Depth-first walk with one directory iterator per open folder. A folder that
// cannot be opened or read further is left behind on its own and the walk
// goes on with the rest of the tree, which a single recursive iterator would
// abandon at the first error. Links to folders are not descended into.
void walkRecursive(const fs::path& folder, const CandidateVisitor& visit) {
    constexpr auto options = fs::directory_options::skip_permission_denied;
    std::error_code error;
    std::vector<fs::directory_iterator> open;
    open.emplace_back(folder, options, error);
    while (!open.empty()) {
        fs::directory_iterator& it = open.back();
        if (it == fs::directory_iterator()) {
            open.pop_back();
            continue;
        }
        const fs::directory_entry entry = *it;
        it.increment(error);  // on error the iterator becomes the end of its folder
        if (isRealDirectory(entry))
            open.emplace_back(entry.path(), options, error);
        else if (isCandidate(entry))
            visit(entry.path());
    }
}

// Every candidate of the folder, with the reader's verdict on it: the
// discovery list and the files it passes over come from the same walk.
void walkCandidates(const fs::path& folder, bool recursive,
                    const std::function<void(const fs::path& file, const detail::WavFile& wav, bool opened)>& visit) {
    if (!fs::is_directory(fs::status(folder))) return;
    const CandidateVisitor open = [&visit](const fs::path& file) {
        detail::WavFile wav;
        const bool opened = detail::openWav(file, wav);
        visit(file, wav, opened);
    };
    if (recursive)
        walkRecursive(folder, open);
    else
        walkFlat(folder, open);
}

// Plain unsigned byte order of the file name alone: std::string compares
// through char_traits<char>, which orders characters as unsigned char.
bool byFileName(const fs::path& a, const fs::path& b) { return a.filename().native() < b.filename().native(); }

}  // namespace

std::vector<fs::path> discoverPolyPaths(const fs::path& folder, bool recursive, std::int32_t minChannels) {
    std::vector<fs::path> found;
    walkCandidates(folder, recursive, [&](const fs::path& file, const detail::WavFile& wav, bool opened) {
        if (opened && static_cast<std::int32_t>(wav.fmt.channels) >= minChannels) found.push_back(file);
    });
    std::sort(found.begin(), found.end(), byFileName);
    return found;
}

std::vector<PassedOverFile> passedOverFiles(const fs::path& folder, bool recursive, std::int32_t minChannels) {
    std::vector<PassedOverFile> passed;
    walkCandidates(folder, recursive, [&](const fs::path& file, const detail::WavFile& wav, bool opened) {
        const auto channels = static_cast<std::int32_t>(wav.fmt.channels);
        if (!opened)
            passed.push_back({file, wav.error, 0});
        else if (channels < minChannels)
            passed.push_back({file, {}, channels});
    });
    std::sort(passed.begin(), passed.end(),
              [](const PassedOverFile& a, const PassedOverFile& b) { return byFileName(a.path, b.path); });
    return passed;
}

std::vector<PolyWavInfo> scanDirectory(const fs::path& folder, bool recursive, double threshold,
                                       std::int32_t minChannels, const ProgressCallback& onProgress,
                                       PeakCoverage coverage, std::stop_token stop) {
    const std::vector<fs::path> paths = discoverPolyPaths(folder, recursive, minChannels);
    std::vector<PolyWavInfo> results;
    results.reserve(paths.size());
    const auto count = static_cast<std::int32_t>(paths.size());
    for (std::int32_t i = 0; i < count && !stop.stop_requested(); ++i) {
        if (onProgress) onProgress(i + 1, count, paths[i]);
        PolyWavInfo info = analyzePolyWav(paths[i], threshold, coverage);
        // A failed analysis stays listed with its message; a file that lost
        // channels since discovery (it was replaced) is left out.
        if (!info.error.empty() || info.channels >= minChannels) results.push_back(std::move(info));
    }
    return results;
}

}  // namespace quillon
