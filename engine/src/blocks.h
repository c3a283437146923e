// How many frames one buffer of the sample loops holds.
#pragma once

#include <algorithm>
#include <cstddef>

namespace quillon::detail {

// Frames of `frameBytes` each that fit in `maxBytes`, at most `maxFrames`;
// at least one, so a frame wider than the budget still moves.
inline std::size_t framesPerBlock(std::size_t maxBytes, std::size_t frameBytes, std::size_t maxFrames) {
    return std::clamp<std::size_t>(maxBytes / std::max<std::size_t>(frameBytes, 1), 1, maxFrames);
}

}  // namespace quillon::detail
