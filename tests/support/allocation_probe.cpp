#include "allocation_probe.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> probing{false};
std::atomic<std::size_t> largest{0};
std::atomic<std::size_t> live{0};
std::atomic<std::size_t> baseline{0};
std::atomic<std::size_t> peak{0};

void raise(std::atomic<std::size_t>& value, std::size_t candidate) {
    std::size_t seen = value.load(std::memory_order_relaxed);
    while (candidate > seen && !value.compare_exchange_weak(seen, candidate)) {
    }
}

void* allocate(std::size_t size) {
    if (probing.load(std::memory_order_relaxed)) raise(largest, size);
    void* p = std::malloc(size == 0 ? 1 : size);
    if (!p) throw std::bad_alloc();
    raise(peak, live += malloc_usable_size(p));
    return p;
}

void release(void* p) noexcept {
    if (!p) return;
    live -= malloc_usable_size(p);
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace quillon::testing {

AllocationProbe::AllocationProbe() {
    largest = 0;
    baseline = live.load();
    peak = baseline.load();
    probing = true;
}

AllocationProbe::~AllocationProbe() { probing = false; }

std::size_t AllocationProbe::largestRequest() const { return largest.load(); }

std::size_t AllocationProbe::peakLiveBytes() const { return peak.load() - baseline.load(); }

}  // namespace quillon::testing
