// Processing, parameter changes and program changes allocate nothing: this
// program replaces the allocation functions and counts every call.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "zur.h"

namespace {
std::atomic<long> allocations{0};
std::atomic<bool> counting{false};

void* allocate(std::size_t size) {
    if (counting) ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(Allocation, NoneWhileProcessingOrChangingParametersAndPrograms) {
    ZUR effect(nullptr);
    std::vector<float> in(4096, 0.25f), left(4096), right(4096);
    float* inputs[] = {in.data()};
    float* outputs[] = {left.data(), right.data()};

    allocations = 0;
    counting = true;
    for (int round = 0; round < 200; ++round) {
        const float v = static_cast<float>(round % 17) / 16.0f;
        for (aeLong index : {0, 1, 2, 3, 4, 5, 6, 7, 1111}) effect.setParameterAutomated(index, v);
        effect.setProgram(round % 16);
        effect.processReplacing(inputs, outputs, 1 + round * 20);
        effect.process(inputs, outputs, 4096 - round * 20);
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0);

    // The counter itself works: constructing an instance allocates.
    counting = true;
    { ZUR another(nullptr); }
    counting = false;
    EXPECT_GT(allocations.load(), 0);
}

}  // namespace
