// One thread processes blocks without pause while another changes every
// parameter, switches programs, renames them and asks for every text, all
// through the record, as a host's audio and control threads do. Run under
// ThreadSanitizer this finds any data race; in every build it checks that
// every output sample stays finite and within full scale, and that the output
// does not stay stuck at one value (a state that is not a number, held at
// full scale by the limiter, would look in range).
//
// Suspend, resume and close are not sent while audio runs: hosts stop audio
// before they send them, and the effect relies on that.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "host_numbers.h"
#include "zur.h"

namespace {

double secondsToRun() {
    const char* s = std::getenv("ZUR_THREAD_TEST_SECONDS");
    return s ? std::atof(s) : 2.0;
}

TEST(Threads, ControlRequestsDuringProcessing) {
    auto* zur = new ZUR(nullptr);
    AEffect* e = zur->getAeffect();
    std::atomic<bool> stop{false};
    std::atomic<long long> bad{0}, frames{0}, longestHeld{0};

    std::thread audio([&] {
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
        std::vector<float> in(1024), left(1024), right(1024);
        float* inputs[] = {in.data()};
        float* outputs[] = {left.data(), right.data()};
        long long heldRun = 0;
        float held = 0.0f;
        for (bool replacing = true; !stop; replacing = !replacing) {
            const int n = 1 + static_cast<int>(rng() % 1024);
            for (int i = 0; i < n; ++i) in[static_cast<std::size_t>(i)] = sample(rng);
            std::fill(left.begin(), left.end(), 0.0f);
            std::fill(right.begin(), right.end(), 0.0f);
            (replacing ? e->processReplacing : e->process)(e, inputs, outputs, n);
            for (int i = 0; i < n; ++i)
                if (!(std::fabs(left[static_cast<std::size_t>(i)]) <= 1.0f) ||
                    !(std::fabs(right[static_cast<std::size_t>(i)]) <= 1.0f))
                    ++bad;
            frames += n;
            if (n >= 64) {
                bool same = true;
                for (int i = 0; i < n && same; ++i)
                    same = left[static_cast<std::size_t>(i)] == left[0] &&
                           right[static_cast<std::size_t>(i)] == left[0];
                heldRun = same ? (heldRun > 0 && left[0] == held ? heldRun + 1 : 1) : 0;
                held = left[0];
                if (heldRun > longestHeld) longestHeld = heldRun;
            }
        }
    });

    std::mt19937 rng(2);
    std::uniform_real_distribution<float> value(-0.2f, 1.2f);
    const aeLong indices[] = {0, 1, 2, 3, 4, 5, 6, 7, 1111, 1000, 1001, 2000, 2001, 3100, 9};
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(secondsToRun());
    long long requests = 0;
    char text[64];
    char name[] = "Live";
    while (std::chrono::steady_clock::now() < end) {
        for (aeLong index : indices) {
            e->setParameter(e, index, value(rng));
            e->getParameter(e, index);
            for (aeLong op : {op::getParamName, op::getParamLabel, op::getParamDisplay})
                e->dispatcher(e, op, index, 0, text, 0.0f);
        }
        e->dispatcher(e, op::setProgram, 0, static_cast<aeIntPtr>(rng() % 16), nullptr, 0.0f);
        e->dispatcher(e, op::setProgramName, 0, 0, name, 0.0f);
        e->dispatcher(e, op::getProgramName, 0, 0, text, 0.0f);
        e->dispatcher(e, op::getVu, 0, 0, nullptr, 0.0f);
        requests += 4 + 5 * static_cast<long long>(std::size(indices));
    }
    stop = true;
    audio.join();
    e->dispatcher(e, op::close, 0, 0, nullptr, 0.0f);

    EXPECT_EQ(bad.load(), 0);
    EXPECT_LT(longestHeld.load(), 64) << "blocks of noise in a row with one output value";
    EXPECT_GT(frames.load(), 0);
    EXPECT_GT(requests, 0);
    std::printf("%lld frames processed while %lld control requests ran\n", frames.load(), requests);
}

}  // namespace

namespace {

using Stereo = std::vector<std::vector<float>>;

// Processes frames [from, to) of `in` into `out`.
void runFrames(ZUR& z, std::vector<float>& in, Stereo& out, std::size_t from, std::size_t to) {
    float* inputs[] = {in.data() + from};
    float* outputs[] = {out[0].data() + from, out[1].data() + from};
    z.processReplacing(inputs, outputs, static_cast<aeLong>(to - from));
}

}  // namespace

// Program selections sent while blocks run, each a change of nine values, and
// each inside a block. The two programs pan differently (0.5 gives both
// channels the same samples, 0.2 does not), so the output itself shows from
// which frame each selection is in effect. An instance that makes the same
// selections before those frames, between blocks of one frame, gives the same
// output to the last bit: each selection took effect whole, from one frame on,
// and (with the sweep on, when selections meet sweep steps on their way) no
// step undid any of it. With the sweep off nothing but a change breaks a
// block: selections that show only at block boundaries waited for the block's
// end. At most one selection is sent in two blocks, so no two meet between the
// same frames.
TEST(Threads, ProgramSelectionsDuringABlockTakeEffectWholeFromOneFrame) {
    for (const float sweep : {0.9f, 0.0f}) {
        auto setUp = [sweep](ZUR& z) {
            const std::pair<aeLong, float> first[] = {{6, 0.5f}, {1, 1.0f},  {2, 0.2f}, {3, 0.05f},
                                                      {4, 0.6f}, {5, sweep}, {0, 0.3f}};
            const std::pair<aeLong, float> second[] = {{6, 0.2f}, {1, 0.6f},
                                                       {2, 0.7f}, {3, 0.02f},
                                                       {4, 0.9f}, {5, sweep > 0 ? 0.5f : 0.0f},
                                                       {0, 0.1f}};
            z.setProgram(1);
            for (auto [index, value] : first) z.setParameter(index, value);
            z.setProgram(2);
            for (auto [index, value] : second) z.setParameter(index, value);
            z.setProgram(1);
        };
        constexpr std::size_t kBlock = 8192, kBlocks = 300, kFrames = kBlock * kBlocks;
        std::mt19937 rng(3);
        std::uniform_real_distribution<float> noise(-0.1f, 0.1f);
        std::vector<float> in(kFrames);
        for (float& s : in) s = noise(rng);
        Stereo live(2, std::vector<float>(kFrames));

        ZUR z(nullptr);
        setUp(z);
        // One selection in every other block, sent as soon as that block has
        // started. Both threads wait spinning: a thread that gave its core
        // away would wake too late to meet a block.
        std::atomic<std::size_t> started{0}, sent{0}, finished{0};
        std::thread audio([&] {
            for (std::size_t b = 0; b < kBlocks; ++b) {
                started = b;
                runFrames(z, in, live, b * kBlock, (b + 1) * kBlock);
                finished = b + 1;
                if (b % 2 == 1 && b + 1 < kBlocks)
                    while (sent < b) {
                    }
            }
        });
        // Whether each selection was over before its block was: then it came
        // while the block ran, and must show inside it.
        std::vector<bool> duringBlock;
        for (std::size_t b = 1; b + 1 < kBlocks; b += 2) {
            while (started < b) {
            }
            z.setProgram(b % 4 == 1 ? 2 : 1);
            duringBlock.push_back(finished <= b);
            sent = b;
        }
        audio.join();

        ZUR reference(nullptr);
        setUp(reference);
        Stereo again(2, std::vector<float>(kFrames));
        bool second = false;
        int switches = 0, sentDuring = 0, shownDuring = 0;
        for (std::size_t n = 0; n < kFrames; ++n) {
            const bool panned = live[0][n] != live[1][n];  // program 2 in effect
            if (panned != second) {
                reference.setProgram(panned ? 2 : 1);
                second = panned;
                const auto k = static_cast<std::size_t>(switches++);
                if (k < duringBlock.size() && duringBlock[k]) {
                    ++sentDuring;
                    if (n % kBlock != 0) ++shownDuring;
                }
            }
            runFrames(reference, in, again, n, n + 1);
            if (again[0][n] != live[0][n] || again[1][n] != live[1][n]) {
                ADD_FAILURE() << "sweep " << sweep << ", frame " << n << " after " << switches
                              << " selections: " << live[0][n] << " " << live[1][n] << " against "
                              << again[0][n] << " " << again[1][n];
                break;
            }
        }
        EXPECT_EQ(switches, static_cast<int>(kBlocks / 2 - 1)) << "sweep " << sweep;
        // Only where both threads had a core at once are selections known to have
        // come during a block (the publishing of one can fall just after its
        // block's last frame, rarely).
        if (sentDuring >= 4) {
            EXPECT_GE(2 * shownDuring, sentDuring) << "sweep " << sweep;
        }
    }
}
