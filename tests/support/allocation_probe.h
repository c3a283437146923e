// Records the largest single heap request and the most heap memory held at
// once while a probe is alive, so tests can show that a lying size field
// costs no memory. The global allocation functions of the test binary
// report to it.
#pragma once

#include <cstddef>

namespace quillon::testing {

class AllocationProbe {
public:
    AllocationProbe();
    ~AllocationProbe();
    std::size_t largestRequest() const;
    std::size_t peakLiveBytes() const;  // above what was live when the probe started
};

}  // namespace quillon::testing
