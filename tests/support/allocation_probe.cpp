#include "allocation_probe.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

static std::atomic<bool> probing{false};
static std::atomic<std::size_t> largest{0}, live{0}, baseline{0}, peak{0};

// The array and sized forms that the library provides call these two.
void* operator new(std::size_t size) {
    if (probing) largest = std::max(largest.load(), size);
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    peak = std::max(peak.load(), live += malloc_usable_size(p));
    return p;
}

void operator delete(void* p) noexcept {
    if (p != nullptr) live -= malloc_usable_size(p);
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace quillon::testing {

AllocationProbe::AllocationProbe() {
    largest = 0;
    peak = baseline = live.load();
    probing = true;
}

AllocationProbe::~AllocationProbe() { probing = false; }

std::size_t AllocationProbe::largestRequest() const { return largest; }

std::size_t AllocationProbe::peakLiveBytes() const { return peak - baseline; }

}  // namespace quillon::testing
