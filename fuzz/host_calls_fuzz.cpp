// Reads its input as a sequence of host calls on fresh instances, made
// through the record as a host makes them, and aborts when a call breaks a
// property every host may rely on:
// - every sample processReplacing writes is finite and within full scale, and
//   so is every value process adds;
// - every text is terminated inside the buffer size the host provides
//   (sanitizers catch any write beyond it: each buffer is exactly that size);
// - getParameter answers a finite value.
// Built with AddressSanitizer and UndefinedBehaviorSanitizer, which catch
// undefined conversions, out-of-table reads and memory faults.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "aeffeditor.h"
#include "zur.h"

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : p(data), end(data + size) {}
    bool empty() const { return p >= end; }
    template <typename T>
    T take() {
        T v{};
        const std::size_t n = std::min<std::size_t>(sizeof v, static_cast<std::size_t>(end - p));
        std::memcpy(&v, p, n);
        p += n;
        return v;
    }
    std::uint8_t byte() { return take<std::uint8_t>(); }

private:
    const std::uint8_t* p;
    const std::uint8_t* end;
};

aeIntPtr ZUR_CALL host(AEffect*, aeLong opcode, aeLong, aeIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

[[noreturn]] void violated(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

AEffect* create() {
    ZUR* zur = new (std::nothrow) ZUR(host);
    if (!zur || oome) violated("instance could not be created");
    return zur->getAeffect();
}

// A value for a parameter: mostly raw bits, so NaN, infinities, subnormals
// and huge values all come up, sometimes a value from 0 to 1.
float parameterValue(Input& in) {
    const std::uint8_t kind = in.byte();
    if (kind < 96) return static_cast<float>(in.byte()) / 255.0f;
    return in.take<float>();
}

aeLong parameterIndex(Input& in) {
    static const aeLong known[] = {0,    1,    2,    3,    4,    5,    6,    7,  8,   1111,
                                   1000, 1001, 1004, 1006, 2000, 2001, 3100, -1, 9999};
    const std::uint8_t k = in.byte();
    if (k < 200) return known[k % std::size(known)];
    return in.take<aeLong>();
}

// Text requests into buffers of exactly the size the host provides.
void textRequest(AEffect* e, aeLong op, aeLong index, std::size_t size) {
    std::unique_ptr<char[]> buffer(new char[size]);
    std::memset(buffer.get(), 0x5A, size);
    e->dispatcher(e, op, index, 0, buffer.get(), 0.0f);
    bool untouched = true;
    for (std::size_t i = 0; i < size; ++i) untouched = untouched && buffer[i] == 0x5A;
    if (!untouched && std::memchr(buffer.get(), 0, size) == nullptr)
        violated("text not terminated");
}

void processBlock(AEffect* e, Input& in) {
    const std::uint8_t how = in.byte();
    const bool replacing = (how & 1) != 0;
    const int shared = (how >> 1) % 3;  // 0: separate input, 1 or 2: input is that output channel
    int frames = static_cast<int>(in.take<std::uint16_t>() % 4097);
    if ((how & 0x80) != 0) frames = -frames;
    const std::size_t n = static_cast<std::size_t>(frames > 0 ? frames : 0);

    std::vector<float> source(n + 1), left(n + 1, 0.25f), right(n + 1, -0.25f);
    const std::uint8_t signal = in.byte();
    for (std::size_t i = 0; i < n; ++i) {
        if (signal < 128)
            source[i] = static_cast<float>(static_cast<std::int8_t>(in.byte())) / 127.0f;
        else if (i < 64)
            source[i] = in.take<float>();  // raw: NaN, infinite, huge
        else
            source[i] = source[i % 64];
    }
    if (shared == 1) left = source;
    if (shared == 2) right = source;
    const std::vector<float> leftBefore = left, rightBefore = right;
    float* inputs[] = {shared == 1 ? left.data() : shared == 2 ? right.data() : source.data()};
    float* outputs[] = {left.data(), right.data()};
    (replacing ? e->processReplacing : e->process)(e, inputs, outputs, frames);

    for (std::size_t i = 0; i < n; ++i)
        for (auto [after, before] :
             {std::pair{left[i], leftBefore[i]}, std::pair{right[i], rightBefore[i]}}) {
            if (replacing) {
                if (!(std::fabs(after) <= 1.0f))
                    violated("written sample not finite or beyond full scale");
            } else if (std::isfinite(before) && std::fabs(before) < 1e6f) {
                // The sum is rounded to float: allow for half a unit of the buffer's value.
                const double added = static_cast<double>(after) - before;
                const double rounding = std::fabs(static_cast<double>(before)) * 0x1p-23 + 1e-6;
                if (!(std::fabs(added) <= 1.0 + rounding))
                    violated("added value not finite or beyond full scale");
            }
        }
    if (frames <= 0 && (left != leftBefore || right != rightBefore))
        violated("empty block wrote output");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    std::vector<AEffect*> instances{create()};
    std::size_t current = 0;
    while (!in.empty()) {
        AEffect* e = instances[current];
        switch (in.byte() % 8) {
            case 0: {  // any dispatcher request
                const auto opcode = static_cast<aeLong>(in.byte() % 26) - 1;
                const aeLong index = parameterIndex(in);
                const auto value = static_cast<aeIntPtr>(in.take<std::int64_t>());
                const float opt = in.take<float>();
                if (opcode == effClose) {
                    if (e->dispatcher(e, effClose, index, value, nullptr, opt) != 1)
                        violated("close did not answer 1");
                    instances[current] = create();
                } else if (opcode >= effGetProgramName && opcode <= effGetParamName) {
                    static const std::size_t sizes[] = {ZUR::kProgramNameSize, ZUR::kLabelSize,
                                                        ZUR::kDisplaySize, ZUR::kNameSize};
                    textRequest(e, opcode, index, sizes[opcode - effGetProgramName]);
                } else if (opcode == effSetProgramName) {
                    char name[32] = {};
                    const std::size_t length =
                        in.byte() % 24;  // the host sends at most 23 characters
                    for (std::size_t i = 0; i < length; ++i)
                        name[i] = static_cast<char>(in.byte() | 1);
                    e->dispatcher(e, opcode, index, value, name, opt);
                } else if (opcode == effEditGetRect) {
                    ERect* rect = nullptr;
                    e->dispatcher(e, opcode, index, value, &rect, opt);
                } else {
                    e->dispatcher(e, opcode, index, value, nullptr, opt);
                }
                break;
            }
            case 1:
            case 2: {
                const aeLong index = parameterIndex(in);
                e->setParameter(e, index, parameterValue(in));
                break;
            }
            case 3:
                if (!std::isfinite(e->getParameter(e, parameterIndex(in))))
                    violated("getParameter answered a value that is not finite");
                break;
            case 4:
            case 5: processBlock(e, in); break;
            case 6:
                if (instances.size() < 4) instances.push_back(create());
                current = in.byte() % instances.size();
                break;
            case 7:
                e->dispatcher(e, effSetProgram, 0, static_cast<aeIntPtr>(in.byte() % 20) - 2,
                              nullptr, 0.0f);
                break;
        }
    }
    for (AEffect* e : instances) e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    return 0;
}
