// A long run through one instance: random block lengths, every parameter and
// the filter-order switch automated at random in every block, both processing
// kinds. Every output sample must be finite and within full scale, the output
// must not stay stuck at one value (as a state that is not a number would
// hold it, the limiter making it look in range), the ring position must stay
// within its ring and the filter frequency within the range the filter
// design takes. `soak --hours H` runs H hours of audio at 44.1 kHz.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "zur.h"

namespace {

struct Probe : ZUR {
    Probe() : ZUR(nullptr) {}
    aeLong ringPosition() const { return bufPos; }
    float frequency() const { return curFreq; }
};

int fail(const char* what, long long frame, double value) {
    std::fprintf(stderr, "soak: %s at frame %lld (%g)\n", what, frame, value);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    double hours = 1.0;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--hours") == 0) hours = std::atof(argv[i + 1]);
    const auto total = static_cast<long long>(hours * 3600.0 * 44100.0);

    std::mt19937_64 rng(20261211);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), sample(-1.0f, 1.0f);
    std::uniform_int_distribution<int> length(1, 4096);
    constexpr int kMaxBlock = 4096;
    std::vector<float> in(kMaxBlock), left(kMaxBlock), right(kMaxBlock);
    float* inputs[] = {in.data()};
    float* outputs[] = {left.data(), right.data()};

    Probe zur;
    const auto start = std::chrono::steady_clock::now();
    long long done = 0, blocks = 0;
    // Blocks of noise in a row whose output held one value throughout, the
    // same as the block before: dozens of those only come from a stuck filter.
    int heldRun = 0;
    float held = 0.0f;
    constexpr int kMostHeldBlocks = 64;
    while (done < total) {
        for (aeLong index : {0, 1, 2, 3, 4, 5, 6, 7, ZUR::kPoleSwitchIndex})
            zur.setParameter(index, unit(rng));
        const int frames = static_cast<int>(std::min<long long>(length(rng), total - done));
        const bool silent = (blocks % 16) == 15;
        for (int n = 0; n < frames; ++n)
            in[static_cast<std::size_t>(n)] = silent ? 0.0f : sample(rng);
        const bool replacing = (rng() & 1) != 0;
        if (replacing) {
            zur.processReplacing(inputs, outputs, frames);
        } else {
            std::fill_n(left.begin(), frames, 0.0f);
            std::fill_n(right.begin(), frames, 0.0f);
            zur.process(inputs, outputs, frames);
        }
        for (int n = 0; n < frames; ++n) {
            const float l = left[static_cast<std::size_t>(n)],
                        r = right[static_cast<std::size_t>(n)];
            if (!(std::fabs(l) <= 1.0f) || !(std::fabs(r) <= 1.0f))
                return fail("output not finite or beyond full scale", done + n,
                            std::fabs(l) > 1.0f ? l : r);
        }
        if (!silent && frames >= 64) {
            const float first = left[0];
            bool same = true;
            for (int n = 0; n < frames && same; ++n)
                same = left[static_cast<std::size_t>(n)] == first &&
                       right[static_cast<std::size_t>(n)] == first;
            heldRun = same ? (heldRun > 0 && first == held ? heldRun + 1 : 1) : 0;
            held = first;
            if (heldRun >= kMostHeldBlocks)
                return fail("output stuck at one value for 64 blocks of noise", done + frames,
                            first);
        }
        if (zur.ringPosition() < 0 || zur.ringPosition() >= ZUR::kRingSize)
            return fail("ring position outside the ring", done + frames, zur.ringPosition());
        if (!(zur.frequency() > 0.0f && zur.frequency() < 1.0f))
            return fail("filter frequency outside 0 to 1", done + frames, zur.frequency());
        done += frames;
        ++blocks;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "soak: %lld frames (%.2f hours at 44.1 kHz) in %lld blocks, %.1f s wall: all held\n", done,
        static_cast<double>(done) / 44100.0 / 3600.0, blocks, wall);
    return 0;
}
