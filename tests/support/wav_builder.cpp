#include "wav_builder.h"

#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

namespace quillon::testing {
namespace {

void putLE(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::size_t frameCount(const auto& channels) {
    if (channels.empty()) return 0;
    for (const auto& c : channels)
        if (c.size() != channels.front().size()) throw std::invalid_argument("channels differ in length");
    return channels.front().size();
}

}  // namespace

std::uint16_t FmtSpec::effectiveBlockAlign() const {
    return blockAlign.value_or(static_cast<std::uint16_t>(channels * (bitsPerSample / 8)));
}

std::string FmtSpec::payload() const {
    const std::uint16_t align = effectiveBlockAlign();
    std::string out;
    putLE(out, formatTag, 2);
    putLE(out, channels, 2);
    putLE(out, sampleRate, 4);
    putLE(out, byteRate.value_or(static_cast<std::uint32_t>(align) * sampleRate), 4);
    putLE(out, align, 2);
    putLE(out, bitsPerSample, 2);
    const std::size_t wanted = size.value_or(formatTag == 0xFFFE ? 40 : 16);
    if (wanted > 16) {
        putLE(out, 22, 2);
        putLE(out, bitsPerSample, 2);
        putLE(out, channelMask, 4);
        putLE(out, subFormat, 2);
        const unsigned char guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        out.append(reinterpret_cast<const char*>(guidTail), sizeof guidTail);
    }
    out.resize(wanted, '\0');
    return out;
}

std::string pcmFrames(std::uint16_t bitsPerSample, const ChannelSamples& channels) {
    const std::size_t frames = frameCount(channels);
    std::string out;
    out.reserve(frames * channels.size() * (bitsPerSample / 8));
    for (std::size_t f = 0; f < frames; ++f)
        for (const auto& channel : channels)
            putLE(out, static_cast<std::uint64_t>(channel[f]), bitsPerSample / 8);
    return out;
}

std::string floatFrames(const std::vector<std::vector<float>>& channels) {
    const std::size_t frames = frameCount(channels);
    std::string out;
    out.reserve(frames * channels.size() * 4);
    for (std::size_t f = 0; f < frames; ++f)
        for (const auto& channel : channels) {
            std::uint32_t bits;
            std::memcpy(&bits, &channel[f], 4);
            putLE(out, bits, 4);
        }
    return out;
}

std::string bextPayload(std::uint64_t timeReference, std::size_t size) {
    std::string out(std::max<std::size_t>(size, 346), '\0');
    std::string reference;
    putLE(reference, timeReference, 8);
    out.replace(338, 8, reference);
    out.resize(size);
    return out;
}

WavBuilder& WavBuilder::fmt(const FmtSpec& fmtSpec) { return chunk("fmt ", fmtSpec.payload()); }

WavBuilder& WavBuilder::data(std::string sampleBytes, std::optional<std::uint32_t> declaredSize) {
    return chunk(Chunk{"data", std::move(sampleBytes), declaredSize, true});
}

WavBuilder& WavBuilder::chunk(Chunk c) {
    if (c.id.size() != 4) throw std::invalid_argument("chunk id must be four bytes");
    chunks_.push_back(std::move(c));
    return *this;
}

WavBuilder& WavBuilder::chunk(std::string id, std::string payload) {
    return chunk(Chunk{std::move(id), std::move(payload), std::nullopt, true});
}

WavBuilder& WavBuilder::riffSize(std::uint32_t size) {
    riffSize_ = size;
    return *this;
}

WavBuilder& WavBuilder::formType(std::string fourBytes) {
    formType_ = std::move(fourBytes);
    return *this;
}

WavBuilder& WavBuilder::truncateTo(std::size_t bytes) {
    truncateTo_ = bytes;
    return *this;
}

std::string WavBuilder::bytes() const {
    std::string body;
    for (const auto& c : chunks_) {
        body += c.id;
        putLE(body, c.declaredSize.value_or(static_cast<std::uint32_t>(c.payload.size())), 4);
        body += c.payload;
        if (c.padOddSize && c.payload.size() % 2 == 1) body.push_back('\0');
    }
    std::string out = "RIFF";
    putLE(out, riffSize_.value_or(static_cast<std::uint32_t>(body.size() + 4)), 4);
    out += formType_;
    out += body;
    if (truncateTo_ && *truncateTo_ < out.size()) out.resize(*truncateTo_);
    return out;
}

void WavBuilder::write(const std::filesystem::path& path) const { writeFile(path, bytes()); }

std::string simpleWav(const FmtSpec& fmtSpec, const ChannelSamples& channels) {
    return WavBuilder().fmt(fmtSpec).data(pcmFrames(fmtSpec.bitsPerSample, channels)).bytes();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write test file " + path.string());
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read test file " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TempDir::TempDir() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("quillon-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Restore permissions that a test may have taken away, then remove.
    for (auto it = std::filesystem::recursive_directory_iterator(
             path_, std::filesystem::directory_options::skip_permission_denied, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path corpusDir() { return QUILLON_CORPUS_DIR; }

}  // namespace quillon::testing
