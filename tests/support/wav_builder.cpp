#include "wav_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <tuple>

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon::testing {
namespace fs = std::filesystem;

static void putLE(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

std::string FmtSpec::payload() const {
    const std::uint64_t align = blockAlign.value_or(static_cast<std::uint16_t>(channels * (bitsPerSample / 8)));
    // The 16 bytes of every fmt, then for WAVE_FORMAT_EXTENSIBLE its extension: its size, valid bits, channel
    // mask and sub-format GUID.
    const std::pair<std::uint64_t, int> fields[] = {
        {formatTag, 2},     {channels, 2}, {sampleRate, 4},    {align * sampleRate, 4}, {align, 2},
        {bitsPerSample, 2}, {22, 2},       {bitsPerSample, 2}, {channelMask, 4},        {subFormat, 2}};
    std::string out;
    for (const auto& [value, bytes] : fields) putLE(out, value, bytes);
    out.append("\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 14);
    out.resize(formatTag == 0xFFFE ? 40 : 16);
    return out;
}

std::string pcmFrames(std::uint16_t bitsPerSample, const ChannelSamples& channels) {
    std::string out;
    for (std::size_t f = 0; !channels.empty() && f < channels.front().size(); ++f)
        for (const auto& channel : channels) putLE(out, static_cast<std::uint64_t>(channel.at(f)), bitsPerSample / 8);
    return out;
}

std::string floatFrames(const std::vector<std::vector<float>>& channels) {
    ChannelSamples bits(channels.size());
    for (std::size_t k = 0; k < channels.size(); ++k)
        for (const float value : channels[k]) bits[k].push_back(std::bit_cast<std::uint32_t>(value));
    return pcmFrames(32, bits);
}

std::string bextPayload(std::uint64_t timeReference, std::size_t size) {
    std::string out(338, '\0');
    putLE(out, timeReference, 8);
    out.resize(size, '\0');
    return out;
}

WavBuilder& WavBuilder::chunk(const Chunk& chunk) {
    if (chunk.id == "data") std::tie(dataSizeAt_, dataSize_) = std::pair(body_.size() + 4, chunk.payload.size());
    body_ += chunk.id;
    putLE(body_, chunk.declaredSize.value_or(static_cast<std::uint32_t>(chunk.payload.size())), 4);
    body_ += chunk.payload;
    if (chunk.payload.size() % 2 == 1) body_.push_back('\0');
    return *this;
}

std::string WavBuilder::bytes() const {
    std::string out = "RIFF";
    putLE(out, riffSize_.value_or(body_.size() + 4), 4);
    out += "WAVE" + body_;
    return out.substr(0, truncateTo_);
}

std::string WavBuilder::bytes64(const std::string& form,
                                const std::vector<std::pair<std::string, std::uint64_t>>& table) const {
    std::string body = body_, ds64;
    if (dataSizeAt_ > 0) body.replace(dataSizeAt_, 4, "\xFF\xFF\xFF\xFF");
    for (const std::uint64_t value : {4 + 8 + 28 + 12 * table.size() + body.size(), dataSize_, std::uint64_t{0}})
        putLE(ds64, value, 8);
    putLE(ds64, table.size(), 4);
    for (const auto& [id, size] : table) putLE(ds64 += id, size, 8);
    std::string out = form + "\xFF\xFF\xFF\xFFWAVEds64";
    putLE(out, ds64.size(), 4);
    return (out + ds64 + body).substr(0, truncateTo_);
}

std::string simpleWav(const FmtSpec& format, const ChannelSamples& channels) {
    return WavBuilder().fmt(format).data(pcmFrames(format.bitsPerSample, channels)).bytes();
}

ChannelSamples levelTracks(const std::string& levels, std::size_t frames) {
    ChannelSamples tracks;
    for (const char level : levels) {
        tracks.emplace_back(frames, level == '1' ? 1 << 20 : level == 'q' ? 1000 : level == 'r' ? 1 << 16 : 0);
        if (level == 'r') std::fill(tracks.back().begin() + std::ptrdiff_t(frames / 2), tracks.back().end(), 1 << 22);
    }
    return tracks;
}

std::string levelTake(const std::string& levels, std::size_t frames) {
    return simpleWav({.channels = static_cast<std::uint16_t>(levels.size())}, levelTracks(levels, frames));
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) throw std::runtime_error("cannot write");
}

std::string readFile(const fs::path& path, std::uint64_t offset, std::size_t size) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes;
    for (std::istreambuf_iterator<char> at(in), end; at != end && bytes.size() < size; ++at) bytes.push_back(*at);
    return bytes;
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "quillon-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
    fs::permissions(path_, fs::perms(0755));
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string commandOutput(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    for (int c; (c = std::fgetc(pipe)) != EOF;) out.push_back(static_cast<char>(c));
    if (::pclose(pipe) == 0) return out;
    ADD_FAILURE() << command << " failed: " << out;
    return {};
}

int runAsNobody(const fs::path& folder, const std::function<int()>& body) {
    const passwd* nobody = ::getpwnam("nobody");
    const bool root = ::geteuid() == 0;
    if (nobody == nullptr || (root && ::chown(folder.c_str(), nobody->pw_uid, nobody->pw_gid) != 0))
        throw std::runtime_error("cannot hand the folder to nobody");
    const pid_t child = ::fork();
    if (child == 0) ::_exit(!root || (::setgid(nobody->pw_gid) == 0 && ::setuid(nobody->pw_uid) == 0) ? body() : 125);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace quillon::testing
