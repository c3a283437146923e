#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "quillon/quillon.h"
#include "wav_builder.h"

namespace {

namespace fs = std::filesystem;
using namespace quillon::testing;
using quillon::discoverPolyPaths;

enum class Kind { Stereo, Mono, SixChannels, EightBit, NoData, Text, Empty, Folder, Link };

std::string wavBytes(std::uint16_t channels, std::uint16_t bits = 16) {
    return simpleWav({.channels = channels, .bitsPerSample = bits},
                     ChannelSamples(channels, std::vector<std::int64_t>{1, -1}));
}

// One item of a generated folder tree; `target` is the link's target,
// relative to the link's own folder.
struct Item {
    std::string path;
    Kind kind = Kind::Stereo;
    std::string target;
};

void makeItem(const fs::path& root, const Item& item) {
    const fs::path path = root / item.path;
    fs::create_directories(path.parent_path());
    switch (item.kind) {
        case Kind::Stereo: return writeFile(path, wavBytes(2));
        case Kind::Mono: return writeFile(path, wavBytes(1));
        case Kind::SixChannels: return writeFile(path, wavBytes(6));
        case Kind::EightBit: return writeFile(path, simpleWav({.channels = 2, .bitsPerSample = 8}, {{1}, {1}}));
        case Kind::NoData: return writeFile(path, WavBuilder().fmt({.channels = 2, .bitsPerSample = 16}).bytes());
        case Kind::Text: return writeFile(path, "not audio, just text\n");
        case Kind::Empty: return writeFile(path, "");
        case Kind::Folder: fs::create_directories(path); return;
        case Kind::Link: fs::create_symlink(item.target, path); return;
    }
}

void makeTree(const fs::path& root, const std::vector<Item>& items) {
    for (const auto& item : items) makeItem(root, item);
}

std::vector<fs::path> under(const fs::path& root, const std::vector<std::string>& relative) {
    std::vector<fs::path> paths;
    for (const auto& r : relative) paths.push_back(root / r);
    return paths;
}

struct DiscoveryCase {
    const char* label;
    std::vector<Item> tree;
    bool recursive;
    std::int32_t minChannels;
    std::vector<std::string> expected;  // relative to the root, in list order
};

const std::vector<Item> kNested = {{"top.wav"}, {"sub/inner.wav"}, {"sub/deeper/d.wav"}};
const std::vector<Item> kHidden = {{"._visible.wav"}, {".hidden.wav"}, {".wav"}, {"visible.wav"},
                                   {".dot/inside.wav"}, {"sub/._inner.wav"}};
const std::vector<Item> kLinks = {{"real/R.wav"},
                                  {"real/mono.wav", Kind::Mono},
                                  {"L.wav", Kind::Link, "real/R.wav"},
                                  {"M.wav", Kind::Link, "real/mono.wav"},
                                  {"dangling.wav", Kind::Link, "missing.wav"},
                                  {"linked", Kind::Link, "real"},
                                  {"loop", Kind::Link, "."}};
const std::vector<Item> kUnreadable = {{"stereo.wav"},         {"six.wav", Kind::SixChannels},
                                       {"mono.wav", Kind::Mono}, {"x.wav", Kind::Text},
                                       {"eight.wav", Kind::EightBit}, {"nodata.wav", Kind::NoData},
                                       {"zero.wav", Kind::Empty}};

TEST(Discovery, ListsTheRightFilesInByteOrderOfTheirNames) {
    const DiscoveryCase cases[] = {
        {"upper case before lower case", {{"B.wav"}, {"a.wav"}, {"A2.wav"}}, false, 2, {"A2.wav", "B.wav", "a.wav"}},
        {"numbers compare as bytes", {{"T1.wav"}, {"T2.wav"}, {"T10.wav"}}, false, 2, {"T1.wav", "T10.wav", "T2.wav"}},
        {"bytes are unsigned and a prefix sorts first",
         {{"\xC3\xA9t\xC3\xA9.wav"}, {"z.wav"}, {"x.wav.wav"}, {"x.wav"}},
         false,
         2,
         {"x.wav", "x.wav.wav", "z.wav", "\xC3\xA9t\xC3\xA9.wav"}},
        {"the folder plays no role",
         {{"sub/A.wav"}, {"B.wav"}, {"a/b/c/C.wav"}, {"Z/D.wav"}},
         true,
         2,
         {"sub/A.wav", "B.wav", "a/b/c/C.wav", "Z/D.wav"}},
        {"extension compared after ASCII lower-casing",
         {{"TAKE.WAV"}, {"mixed.Wav"}, {"lower.wav"}, {"take.wave"}, {"take.wav.bak"}, {"take"}, {"take.wa"}},
         false,
         2,
         {"TAKE.WAV", "lower.wav", "mixed.Wav"}},
        {"hidden names dropped, dot folders walked", kHidden, true, 2, {".dot/inside.wav", "visible.wav"}},
        {"flat walk keeps out of dot folders", kHidden, false, 2, {"visible.wav"}},
        {"unreadable and mono files dropped", kUnreadable, false, 2, {"six.wav", "stereo.wav"}},
        {"mono listed with a minimum of one", kUnreadable, false, 1, {"mono.wav", "six.wav", "stereo.wav"}},
        {"minimum above two", kUnreadable, false, 6, {"six.wav"}},
        {"no minimum still needs a readable file", kUnreadable, false, -1, {"mono.wav", "six.wav", "stereo.wav"}},
        {"flat walk ignores subfolders", kNested, false, 2, {"top.wav"}},
        {"recursive walk reaches every depth", kNested, true, 2, {"sub/deeper/d.wav", "sub/inner.wav", "top.wav"}},
        {"a folder named like a WAV file is walked, not listed",
         {{"looks.wav", Kind::Folder}, {"looks.wav/in.wav"}},
         true,
         2,
         {"looks.wav/in.wav"}},
        {"a folder named like a WAV file in a flat walk", {{"looks.wav", Kind::Folder}}, false, 2, {}},
        {"copies written by the remover are ordinary files", {{"T1.wav"}, {"T1_SLIM.wav"}}, false, 2,
         {"T1.wav", "T1_SLIM.wav"}},
        {"links to files listed under the link, links to folders not followed", kLinks, true, 2,
         {"L.wav", "real/R.wav"}},
        {"links in a flat walk", kLinks, false, 2, {"L.wav"}},
        {"empty folder", {}, true, 2, {}},
    };
    for (const auto& c : cases) {
        TempDir root;
        makeTree(root.path(), c.tree);
        EXPECT_EQ(discoverPolyPaths(root.path(), c.recursive, c.minChannels), under(root.path(), c.expected))
            << c.label;
    }
}

TEST(Discovery, AnythingButAFolderGivesAnEmptyList) {
    TempDir root;
    makeTree(root.path(), {{"file.wav"}});
    const fs::path notFolders[] = {root / "file.wav", root / "missing", root / "file.wav" / "below", fs::path()};
    for (const auto& path : notFolders)
        for (const bool recursive : {false, true})
            EXPECT_TRUE(discoverPolyPaths(path, recursive, 2).empty()) << path << " recursive " << recursive;
}

TEST(Discovery, PathsKeepTheFolderExactlyAsPassed) {
    TempDir root;
    makeTree(root.path(), {{"real/A.wav"}, {"entry", Kind::Link, "real"}});
    const fs::path throughLink = root / "entry";
    const fs::path uncanonical = root / "real" / ".." / "real";
    for (const bool recursive : {false, true}) {
        EXPECT_EQ(discoverPolyPaths(throughLink, recursive, 2), std::vector<fs::path>{throughLink / "A.wav"});
        EXPECT_EQ(discoverPolyPaths(uncanonical, recursive, 2), std::vector<fs::path>{uncanonical / "A.wav"});
    }
}

TEST(Discovery, RecursiveWalkSkipsAFolderWithoutPermission) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: permissions do not restrict root, so a chmod 000 folder stays readable";
    TempDir root;
    makeTree(root.path(), {{"open/A.wav"}, {"locked/B.wav"}, {"C.wav"}, {"locked-top/D.wav"}});
    fs::permissions(root / "locked", fs::perms::none);
    fs::permissions(root / "locked-top", fs::perms::none);

    EXPECT_EQ(discoverPolyPaths(root.path(), true, 2), under(root.path(), {"open/A.wav", "C.wav"}));
    for (const bool recursive : {false, true})
        EXPECT_TRUE(discoverPolyPaths(root / "locked-top", recursive, 2).empty()) << "recursive " << recursive;
}

// Lowers the process's open-file limit so that only `freeSlots` more
// descriptors can be opened, for the life of the object.
class OpenFileHeadroom {
public:
    explicit OpenFileHeadroom(int freeSlots) {
        if (::getrlimit(RLIMIT_NOFILE, &saved_) != 0) throw std::system_error(errno, std::generic_category());
        rlimit lowered = saved_;
        lowered.rlim_cur = limitLeaving(freeSlots);
        if (::setrlimit(RLIMIT_NOFILE, &lowered) != 0) throw std::system_error(errno, std::generic_category());
    }
    ~OpenFileHeadroom() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    OpenFileHeadroom(const OpenFileHeadroom&) = delete;
    OpenFileHeadroom& operator=(const OpenFileHeadroom&) = delete;

private:
    // New descriptors take the lowest free numbers below the limit.
    static rlim_t limitLeaving(int freeSlots) {
        std::set<int> open;
        for (const auto& entry : fs::directory_iterator("/proc/self/fd"))
            open.insert(std::stoi(entry.path().filename().string()));
        int limit = 0;
        for (int free = 0; free < freeSlots; ++limit)
            if (!open.contains(limit)) ++free;
        return static_cast<rlim_t>(limit);
    }
    rlimit saved_{};
};

// A folder that cannot be opened deep in the tree (here: the process is out
// of file descriptors) must cost only what lies at and below it: the files on
// the way down and beside it stay listed, whichever order the file system
// returns the entries in.
TEST(Discovery, FolderThatCannotBeOpenedDoesNotEndTheWalk) {
    constexpr int kHeadroom = 24;
    constexpr int kDepth = 2 * kHeadroom;
    TempDir root;
    std::vector<fs::path> expected;
    for (int i = 0; i < 8; ++i) {
        expected.push_back(root / ("r" + std::to_string(i) + ".wav"));
        writeFile(expected.back(), wavBytes(2));
    }
    // Every level holds one file made before its subfolder and one made
    // after it, so whether the file system lists entries in creation order,
    // in reverse or by hash, files are still unread at some levels when the
    // walk comes back from below.
    fs::path level = root / "d";
    fs::create_directory(level);
    for (int depth = 0; depth < kDepth; ++depth) {
        const fs::path before = level / ("a" + std::to_string(depth) + ".wav");
        const fs::path after = level / ("z" + std::to_string(depth) + ".wav");
        writeFile(before, wavBytes(2));
        fs::create_directory(level / "d");
        writeFile(after, wavBytes(2));
        if (depth < kHeadroom / 2) expected.insert(expected.end(), {before, after});
        level /= "d";
    }

    std::vector<fs::path> found;
    {
        const OpenFileHeadroom limit(kHeadroom);
        found = discoverPolyPaths(root.path(), true, 2);
    }
    std::vector<fs::path> missing;
    for (const auto& file : expected)
        if (std::find(found.begin(), found.end(), file) == found.end()) missing.push_back(file);
    EXPECT_EQ(missing, std::vector<fs::path>{});
}

}  // namespace
