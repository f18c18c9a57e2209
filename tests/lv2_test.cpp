// The LV2 plug-in as LV2 hosts meet it, through lilv: discovered from the
// build folder, its ports as described, and its output sample for sample
// that of the module through its record, for the same values sent in the
// same order.
#include <lilv/lilv.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "module_host.h"

namespace {

constexpr const char* kUri = "urn:zur-effects:zur";

// One lilv world over the folder that holds the bundle, for all tests.
class Lv2 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("LV2_PATH", LV2_PATH_DIR, 1);
        world = lilv_world_new();
        lilv_world_load_all(world);
        LilvNode* uri = lilv_new_uri(world, kUri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
    }
    static void TearDownTestSuite() { lilv_world_free(world); }

    LilvNode* node(const char* uri) const { return lilv_new_uri(world, uri); }

    static inline LilvWorld* world = nullptr;
    static inline const LilvPlugin* plugin = nullptr;
};

std::string trimmed(const std::string& s) {
    const auto a = s.find_first_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a, s.find_last_not_of(' ') - a + 1);
}

std::string text(const LilvNode* n) { return n ? lilv_node_as_string(n) : "(none)"; }

struct ExpectedPort {
    const char* symbol;
    const char* kind;         // "in", "out" or "control"
    aeLong effectIndex;       // controls: the effect's index
    const char* designation;  // audio: the channel's designation
};

const ExpectedPort kPorts[] = {
    {"in", "in", 0, "center"},
    {"out_left", "out", 0, "left"},
    {"out_right", "out", 0, "right"},
    {"fres", "control", 0, nullptr},
    {"resonance", "control", 1, nullptr},
    {"q", "control", 2, nullptr},
    {"sweep_time", "control", 3, nullptr},
    {"sweep_range", "control", 4, nullptr},
    {"sweep", "control", 5, nullptr},
    {"pan", "control", 6, nullptr},
    {"mix", "control", 7, nullptr},
    {"filter_order", "control", 1111, nullptr},
};

TEST_F(Lv2, TheBundleIsDiscoveredFromTheBuildFolder) {
    ASSERT_NE(plugin, nullptr) << "no plug-in " << kUri << " in " << LV2_PATH_DIR;
    LilvNode* name = lilv_plugin_get_name(plugin);
    EXPECT_EQ(text(name), "ZUR");
    lilv_node_free(name);
    const std::string bundle = text(lilv_plugin_get_bundle_uri(plugin));
    EXPECT_EQ(bundle.substr(bundle.size() - 8), "zur.lv2/") << bundle;
    LilvNode* hardRt = node(LILV_NS_LV2 "hardRTCapable");
    LilvNodes* optional = lilv_plugin_get_optional_features(plugin);
    EXPECT_TRUE(lilv_nodes_contains(optional, hardRt));
    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    EXPECT_EQ(lilv_nodes_size(required), 0u);
    lilv_nodes_free(optional);
    lilv_nodes_free(required);
    lilv_node_free(hardRt);
}

// Names are the effect's own without their padding; defaults are program 0's
// (for the two switches: the modes program 0 selects); every scale point
// selects the mode it names.
TEST_F(Lv2, PortsAreTheEffectsParameters) {
    ASSERT_NE(plugin, nullptr);
    ASSERT_EQ(lilv_plugin_get_num_ports(plugin), std::size(kPorts));
    Module module;
    Instance fresh(module);
    LilvNode* audio = node(LILV_URI_AUDIO_PORT);
    LilvNode* control = node(LILV_URI_CONTROL_PORT);
    LilvNode* input = node(LILV_URI_INPUT_PORT);
    LilvNode* output = node(LILV_URI_OUTPUT_PORT);
    LilvNode* group = node("http://lv2plug.in/ns/ext/port-groups#group");
    LilvNode* enumeration = node(LILV_NS_LV2 "enumeration");
    LilvNode* designationKey = node(LILV_NS_LV2 "designation");
    for (std::uint32_t i = 0; i < std::size(kPorts); ++i) {
        const ExpectedPort& e = kPorts[i];
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        const std::string symbol = text(lilv_port_get_symbol(plugin, port));
        EXPECT_EQ(symbol, e.symbol) << i;
        const std::string kind(e.kind);
        EXPECT_EQ(lilv_port_is_a(plugin, port, kind == "control" ? control : audio), true) << i;
        EXPECT_EQ(lilv_port_is_a(plugin, port, kind == "out" ? output : input), true) << i;
        if (kind != "control") {
            LilvNodes* groups = lilv_port_get_value(plugin, port, group);
            const std::string g = groups ? text(lilv_nodes_get_first(groups)) : "";
            EXPECT_EQ(g, std::string(kUri) + (kind == "in" ? "#in" : "#out")) << symbol;
            lilv_nodes_free(groups);
            LilvNode* designation = lilv_port_get(plugin, port, designationKey);
            EXPECT_EQ(text(designation),
                      std::string("http://lv2plug.in/ns/ext/port-groups#") + e.designation)
                << symbol;
            lilv_node_free(designation);
            continue;
        }
        LilvNode* name = lilv_port_get_name(plugin, port);
        EXPECT_EQ(text(name), trimmed(fresh.text(op::getParamName, e.effectIndex))) << symbol;
        lilv_node_free(name);
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(plugin, port, &def, &min, &max);
        EXPECT_EQ(lilv_node_as_float(min), 0.0f) << symbol;
        EXPECT_EQ(lilv_node_as_float(max), 1.0f) << symbol;
        const float value = lilv_node_as_float(def);
        const bool isSwitch = e.effectIndex == 5 || e.effectIndex == 1111;
        if (isSwitch) {
            // The default selects the mode program 0 selects.
            Instance set(module);
            set.set(e.effectIndex, value);
            EXPECT_EQ(set.display(e.effectIndex), fresh.display(e.effectIndex)) << symbol;
        } else {
            EXPECT_EQ(value, fresh.get(e.effectIndex)) << symbol;  // program 0's value
        }
        lilv_node_free(def);
        lilv_node_free(min);
        lilv_node_free(max);

        EXPECT_EQ(lilv_port_has_property(plugin, port, enumeration), isSwitch) << symbol;
        LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
        EXPECT_EQ(points ? lilv_scale_points_size(points) : 0u,
                  e.effectIndex == 5 ? 3u : (e.effectIndex == 1111 ? 2u : 0u))
            << symbol;
        LILV_FOREACH(scale_points, it, points) {
            const LilvScalePoint* point = lilv_scale_points_get(points, it);
            const std::string label = text(lilv_scale_point_get_label(point));
            Instance set(module);
            set.set(e.effectIndex, lilv_node_as_float(lilv_scale_point_get_value(point)));
            const std::string shown = set.display(e.effectIndex);
            const std::string mode = label == "4-pole"   ? "4PoleFilter"
                                     : label == "2-pole" ? "2PoleFilter"
                                                         : label;
            EXPECT_EQ(trimmed(shown), mode) << symbol << " " << label;
        }
        lilv_scale_points_free(points);
    }
    for (LilvNode* n : {audio, control, input, output, group, enumeration, designationKey})
        lilv_node_free(n);
}

// Noise in blocks of many sizes, with control values changed between blocks
// (several at once, sometimes not a number), some blocks in place: the plug-in
// and the module through its record, sent the same values in program order,
// give the same samples.
TEST_F(Lv2, RunsSampleForSampleLikeTheRecord) {
    ASSERT_NE(plugin, nullptr);
    LilvInstance* lv2 = lilv_plugin_instantiate(plugin, 44100.0, nullptr);
    ASSERT_NE(lv2, nullptr);
    Module module;
    Instance record(module);
    record.dispatch(op::setSampleRate, 0, 0, nullptr, 44100.0f);
    record.dispatch(op::mainsChanged, 0, 1);

    // Program order of the control ports, and program 0's values.
    const std::uint32_t order[] = {3, 4, 10, 5, 11, 9, 6, 7, 8};
    float controls[12] = {};
    float sent[12] = {};
    for (std::uint32_t p = 3; p < 12; ++p) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
        LilvNode* def = nullptr;
        lilv_port_get_range(plugin, port, &def, nullptr, nullptr);
        controls[p] = sent[p] = lilv_node_as_float(def);
        lilv_node_free(def);
        lilv_instance_connect_port(lv2, p, &controls[p]);
    }
    lilv_instance_activate(lv2);

    std::mt19937 rng(15);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), sample(-0.8f, 0.8f);
    const std::uint32_t sizes[] = {1, 7, 64, 511, 512, 1000, 4096, 51, 333};
    std::vector<float> in, left, right, recIn, recLeft, recRight;
    for (int block = 0; block < 400; ++block) {
        if (block % 3 == 0) {
            const int changes = 1 + static_cast<int>(rng() % 4);
            for (int c = 0; c < changes; ++c) {
                const auto p = static_cast<std::uint32_t>(3 + rng() % 9);
                controls[p] =
                    block % 97 == 42 ? std::numeric_limits<float>::quiet_NaN() : unit(rng);
            }
        }
        for (std::uint32_t p : order)
            if (std::memcmp(&controls[p], &sent[p], sizeof(float)) != 0) {
                record.set(kPorts[p].effectIndex, controls[p]);
                sent[p] = controls[p];
            }
        const std::uint32_t n = sizes[static_cast<std::size_t>(block) % std::size(sizes)];
        in.resize(n);
        for (float& s : in) s = sample(rng);
        recIn = in;
        left.assign(n, 0.0f), right.assign(n, 0.0f);
        recLeft.assign(n, 0.0f), recRight.assign(n, 0.0f);
        const bool inPlace = block % 5 == 4;
        if (inPlace) left = in, recLeft = recIn;
        lilv_instance_connect_port(lv2, 0, inPlace ? left.data() : in.data());
        lilv_instance_connect_port(lv2, 1, left.data());
        lilv_instance_connect_port(lv2, 2, right.data());
        lilv_instance_run(lv2, n);
        record.replace(inPlace ? recLeft.data() : recIn.data(), recLeft.data(), recRight.data(),
                       static_cast<aeLong>(n));
        ASSERT_EQ(left, recLeft) << "block " << block;
        ASSERT_EQ(right, recRight) << "block " << block;
    }
    lilv_instance_deactivate(lv2);
    lilv_instance_free(lv2);
}

// Debian's lv2apply on a file gives, sample for sample, what plughost renders
// through the module with the same settings.
TEST_F(Lv2, Lv2applyMatchesPlughostRender) {
    if (ZUR_SANITIZED)
        GTEST_SKIP() << "lv2apply is not built with the sanitizers this plug-in needs loaded first";
    const auto dir =
        std::filesystem::temp_directory_path() / ("lv2apply-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string in = (dir / "in.wav").string(), lv2 = (dir / "lv2.wav").string(),
                      host = (dir / "host.wav").string();
    {
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(in.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        std::mt19937 rng(16);
        std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
        std::vector<float> samples(30000);
        for (float& s : samples) s = noise(rng);
        sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(f);
    }
    const std::string apply = std::string("LV2_PATH=") + LV2_PATH_DIR + " lv2apply -i " + in +
                              " -o " + lv2 +
                              " -c sweep 0.5 -c pan 0.3 -c filter_order 1 -c resonance 0.6 " +
                              kUri + " 2>" + (dir / "err.txt").string();
    ASSERT_EQ(std::system(apply.c_str()), 0) << apply;
    const std::string render =
        std::string(PLUGHOST_PATH) + " render " + ZUR_MODULE_PATH + " " + in + " -q -o " + host +
        " --param 1=0.6 --param 1111=1 --param 6=0.3 --param 5=0.5 >/dev/null";
    ASSERT_EQ(std::system(render.c_str()), 0) << render;
    auto read = [](const std::string& path) {
        SF_INFO info{};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
        std::vector<float> samples(f ? static_cast<std::size_t>(info.frames * info.channels) : 0);
        if (f) {
            sf_readf_float(f, samples.data(), info.frames);
            sf_close(f);
        }
        return samples;
    };
    const auto fromLv2 = read(lv2), fromHost = read(host);
    EXPECT_EQ(fromLv2.size(), 2u * 30000);
    EXPECT_EQ(fromLv2, fromHost);
    std::filesystem::remove_all(dir);
}

}  // namespace
