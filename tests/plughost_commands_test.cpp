// The commands of `plughost` as a user and a script meet them: help, exit
// statuses, messages that name the cause, info, validate, bench and list.
#include <regex>
#include <set>

#include "plughost_harness.h"

namespace {

TEST_F(Plughost, WithoutArgumentsItPrintsHelpAndItKnowsItsVersion) {
    const Outcome bare = run("");
    EXPECT_EQ(bare.status, 0);
    for (const char* command : {"info", "render", "bench", "validate", "list"})
        EXPECT_NE(bare.out.find(command), std::string::npos) << command;
    const Outcome version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("plughost ") + PROJECT_VERSION_TEXT + "\n");
}

// Every numeric option refuses what is not a number, not finite or out of
// range, naming the option; a bad command line exits with 2.
TEST_F(Plughost, NumericOptionsRejectWhatIsNotAUsableNumber) {
    const struct {
        std::string args;
        std::string message;
    } cases[] = {
        {"render " + kZur + " --seconds nan", "--seconds nan is not a finite number"},
        {"render " + kZur + " --seconds inf", "--seconds inf is not a finite number"},
        {"render " + kZur + " --seconds abc", "--seconds 'abc' is not a number"},
        {"render " + kZur + " --seconds=-1", "--seconds -1 is out of range: 0 to 86400"},
        {"render " + kZur + " --seconds 1e-9", "--seconds 1e-9 gives no frames"},
        {"render " + kZur + " --rate nan", "--rate nan is not a finite number"},
        {"render " + kZur + " --rate 44100.5", "--rate 44100.5 is not a whole number"},
        {"render " + kZur + " --rate 10", "--rate 10 is out of range: 1000 to 768000"},
        {"render " + kZur + " --tail=-inf", "--tail -inf is not a finite number"},
        {"render " + kZur + " --block 0", "--block 0 is out of range: 1 to 65536"},
        {"render " + kZur + " --block abc", "--block 'abc' is not a number"},
        {"render " + kZur + " --program=-1", "--program -1 is out of range"},
        {"render " + kZur + " --param 5", "--param '5': expected [MODULE:]INDEX=VALUE"},
        {"render " + kZur + " --param x=1", "--param 'x=1': index 'x' is not a number"},
        {"render " + kZur + " --param 5=nan", "--param '5=nan': value nan is not a finite number"},
        {"render " + kZur + " --param 0:5=1", "--param '0:5=1': module 0 is out of range"},
        {"bench " + kZur + " --seconds nan", "--seconds nan is not a finite number"},
        {"bench " + kZur + " --seconds 0", "--seconds 0 is out of range: 0.01 to 600"},
        {"info " + kZur + " --param 5=1e39", "value 1e39 is out of range"},
    };
    for (const auto& c : cases) {
        const bool rendering = c.args.rfind("render", 0) == 0;
        const Outcome r = run(c.args + (rendering ? " -o " + path("out.wav") : ""));
        EXPECT_EQ(r.status, 2) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(fs::exists(path("out.wav")));
    }
}

// Options that would have no effect in the combination given are refused.
TEST_F(Plughost, OptionsWithoutEffectAreRefused) {
    writeAudio(path("in.wav"), noise(100), 1);
    const std::string in = " " + path("in.wav") + " -o " + path("out.wav");
    const struct {
        std::string args;
        std::string message;
    } cases[] = {
        {kZur + in + " --seconds 3", "--seconds sets up the embedded signal"},
        {kZur + in + " --rate 48000", "--rate sets up the embedded signal"},
        {kZur + in + " --signal saw", "--signal sets up the embedded signal"},
        {kZur + " --channel 1 -o " + path("out.wav"), "--channel picks a channel of an input"},
        {kZur + in + " --program 1 --program 2", "--program is given twice for module 1"},
    };
    for (const auto& c : cases) {
        const Outcome r = run("render " + c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
    }
}

TEST_F(Plughost, EveryFailureNamesItsCause) {
    writeAudio(path("empty.wav"), {}, 1);
    writeAudio(path("mono.wav"), noise(100), 1);
    std::ofstream(path("notaudio.wav")) << "not audio";
    std::ofstream(path("notamodule.so")) << "not a module";
    fs::create_directory(path("folder"));
    std::ofstream(path("bad.txt")) << "0.1 5 0.5\n";
    const struct {
        std::string line;
        std::string message;
    } automation[] = {
        {"0.2 five 0.5", "line 2: parameter 'five=0.5': index 'five' is not a number"},
        {"-1 5 0.5", "line 2: time -1 is negative"},
        {"nan 5 0.5", "line 2: time nan is not a finite number"},
        {"abc 5 0.5", "line 2: time 'abc' is not a number"},
        {"0.2 5 nan", "line 2: parameter '5=nan': value nan is not a finite number"},
        {"0.2 5", "line 2: expected SECONDS [MODULE:]INDEX VALUE, got 2 field(s)"},
        {"0.2 3:5 0.1", "line 2: module 3 is beyond the chain of 1"},
    };
    const std::string zur = kZur;
    struct Case {
        std::string args;
        std::string message;
    };
    std::vector<Case> cases = {
        {path("missing.so"), "cannot load module"},
        {path("notamodule.so"), "cannot load module"},
        {path("folder"), "cannot load module '" + path("folder") + "': it is a folder"},
        {kFakes + "/fake_no_main.so", "has no 'main' entry"},
        {kFakes + "/fake_null_main.so", "'main' answered null"},
        {kFakes + "/fake_bad_magic.so", "wrong magic 0x12345678"},
        {kFakes + "/fake_foreign_main.so", "the module crashed (signal "},
        {path("mono.wav") + " " + zur,
         "'" + path("mono.wav") + "' is an audio file, not a module: the modules come first"},
        {zur + " " + path("nothere.wav"),
         "cannot read input '" + path("nothere.wav") + "': No such file or directory"},
        {zur + " " + path("folder"), "cannot read input '" + path("folder") + "': it is a folder"},
        {zur + " " + path("notaudio.wav"), "cannot read input"},
        {zur + " " + path("empty.wav"), "holds no audio frames"},
        {zur + " " + path("mono.wav") + " --channel 2", "--channel 2 is out of range"},
        {zur + " --program 16", "--program 16 is out of range: module '" + zur + "' has 16"},
        {zur + " --automate " + path("nofile.txt"),
         "cannot read automation file '" + path("nofile.txt") + "': No such file or directory"},
        {zur + " --automate " + path("folder"),
         "automation file '" + path("folder") + "': it is a folder"},
    };
    for (const auto& a : automation) {
        const std::string file = path("auto" + std::to_string(cases.size()) + ".txt");
        std::ofstream(file) << "0.1 5 0.5\n" << a.line << "\n";
        cases.push_back({zur + " --automate " + file, a.message});
    }
    for (const auto& c : cases) {
        const std::string out = path("out.wav");
        const Outcome r = run("render " + c.args + " -q -o " + out);
        EXPECT_EQ(r.status, 1) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_FALSE(fs::exists(out)) << c.args;
        EXPECT_TRUE(filesNamed("partial").empty()) << c.args;
    }
}

TEST_F(Plughost, ParameterWarningsOnlyWhereTheModuleMayNotExpectTheValue) {
    const std::string args = "render " + kZur + " --seconds 0.1 -q -o " + path("out.wav");
    EXPECT_EQ(run(args + " --param 1111=1 --param 5=0.5").err, "");
    const Outcome r = run(args + " --param 5=1.5 --param 1234=0.5");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("--param 5=1.5: the value 1.5 is outside 0 to 1"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("parameter 1234 is neither announced nor named"), std::string::npos)
        << r.err;
}

TEST_F(Plughost, InfoDescribesTheRecordInAlignedColumns) {
    const Outcome text = run("info " + kZur);
    ASSERT_EQ(text.status, 0) << text.err;
    for (const char* line :
         {"  identifier  'QKV1' (1363891761)\n", "  flags       20 HasVu CanReplacing\n",
          "      2  'Q        '     '      '            0.1    '  3.9'\n",
          "      4  'SweepRange'    'Hz'                0.2    'f = 2073'\n",
          "      9  'ZUR Tidewander 1.03'\n", "     15  'ZUR Tidewander 1.03'\n"})
        EXPECT_NE(text.out.find(line), std::string::npos) << line << text.out;

    // After the calls asked for: the values and texts they lead to.
    const Outcome set = run("info " + kZur + " --program 2 --param 5=0.5 --param 2=0.3");
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_NE(set.out.find("  program     2\n"), std::string::npos) << set.out;
    EXPECT_NE(set.out.find("0.5263158  'Triangle '"), std::string::npos) << set.out;
    EXPECT_NE(set.out.find("0.3        '  5.5'"), std::string::npos) << set.out;
}

TEST_F(Plughost, InfoJsonCarriesTheExactTextsAndReportsFailuresAsJson) {
    const Outcome json = run("info --json " + kZur);
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"uniqueIDText\": \"QKV1\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("{\"index\": 6, \"name\": \"      PAN   \", \"nameTrimmed\": \"PAN\", "
                            "\"label\": \"l<------------>r\", \"labelTrimmed\": "
                            "\"l<------------>r\", \"value\": 0.5, \"display\": "
                            "\"---------I---------\", \"displayTrimmed\": "
                            "\"---------I---------\"}"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"value\": 0.1, \"display\": \"  3.9\""), std::string::npos);

    for (const std::string& module : {path("missing.so"), kFakes + "/fake_foreign_main.so"}) {
        const Outcome failed = run("info --json " + module);
        EXPECT_EQ(failed.status, 1);
        EXPECT_EQ(failed.out.rfind("{\n  \"module\": \"" + module + "\",\n  \"error\": \"", 0), 0u)
            << failed.out;
        EXPECT_NE(failed.err.find("plughost: error:"), std::string::npos);
    }
}

TEST_F(Plughost, ValidatePassesTheModuleAndReportsEveryCategory) {
    const Outcome text = run("validate " + kZur);
    EXPECT_EQ(text.status, 0) << text.out << text.err;
    EXPECT_NE(text.out.find("all categories passed"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("FAIL"), std::string::npos) << text.out;
    for (const char* category :
         {"record", "open/close x100", "rates and block sizes", "accumulate adds",
          "input is an output", "blocks change nothing", "parameter fuzz", "texts", "programs",
          "second thread", "real-time budget", "state"})
        EXPECT_NE(text.out.find(std::string("PASS  ") + category), std::string::npos) << category;
    EXPECT_NE(text.out.find("8 values of each of two instances read back alike after a restore"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("restored instances differ from the originals by up to"),
              std::string::npos)
        << text.out;
    const Outcome json = run("validate --json " + kZur);
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"notAModule\": false, \"stopped\": false, \"passed\": true}"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"category\": \"state\", \"passed\": true"), std::string::npos);
}

// Each category runs in a child process: a crash fails that category with
// its signal and the others still run. Without a record nothing is checked.
TEST_F(Plughost, ValidateTellsACrashFromAFailureFromNotAModule) {
    const Outcome crashing = run("validate " + kFakes + "/fake_crash_in_process.so");
    EXPECT_EQ(crashing.status, 1) << crashing.out;
    EXPECT_NE(crashing.out.find("PASS  record"), std::string::npos) << crashing.out;
    EXPECT_NE(crashing.out.find("FAIL  rates and block sizes  the module crashed (signal "),
              std::string::npos)
        << crashing.out;
    EXPECT_NE(crashing.out.find("state"), std::string::npos) << crashing.out;
    EXPECT_NE(crashing.out.find("some categories failed"), std::string::npos);

    for (const char* fake : {"fake_foreign_main.so", "fake_bad_magic.so", "fake_no_main.so"}) {
        const Outcome r = run("validate " + kFakes + "/" + fake);
        EXPECT_EQ(r.status, 3) << fake << r.out;
        EXPECT_NE(r.out.find("FAIL  record"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("not a module of this interface; nothing else was checked"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find("open/close"), std::string::npos) << r.out;
    }
    const Outcome json = run("validate --json " + kFakes + "/fake_foreign_main.so");
    EXPECT_EQ(json.status, 3);
    EXPECT_NE(json.out.find("the module crashed (signal "), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"notAModule\": true"), std::string::npos) << json.out;
}

// A module that never returns from processing: its category fails after the
// time limit, the module is stopped, and nothing else is checked.
TEST_F(Plughost, ValidateStopsAModuleThatDoesNotReturn) {
    const auto start = std::chrono::steady_clock::now();
    const Outcome r = run("validate --timeout 0.5 " + kFakes + "/fake_hang_in_process.so");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("PASS  record"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("FAIL  rates and block sizes  did not finish within 0.5 s"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("stopped: the module did not finish a check"), std::string::npos);
    EXPECT_EQ(r.out.find("state"), std::string::npos) << r.out;
}

TEST_F(Plughost, BenchTakesSettingsModesAndJson) {
    const Outcome r = run("bench " + kZur +
                          " --seconds 0.01 --block 64 --mode replace --program 3 --param 5=0.5 "
                          "--json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"block\": 64, \"results\": [\n  {\"mode\": \"replace\", "
                         "\"framesPerSecond\": "),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("accumulate"), std::string::npos);
    const Outcome both = run("bench " + kZur + " --seconds 0.01");
    ASSERT_EQ(both.status, 0) << both.err;
    EXPECT_NE(both.out.find("replace"), std::string::npos);
    EXPECT_NE(both.out.find("accumulate"), std::string::npos);
}

// Every file in the folder and below it that could be a module is tried in
// a child process of its own: one that crashes is listed as such.
TEST_F(Plughost, ListShowsEveryModuleAndWhyOtherFilesAreNotOnes) {
    fs::create_directories(path("plugins/deeper"));
    fs::copy_file(kZur, path("plugins/zur.so"));
    for (const char* fake : {"fake_stereo_through.so", "fake_no_main.so", "fake_foreign_main.so"})
        fs::copy_file(kFakes + "/" + fake, path(std::string("plugins/deeper/") + fake));
    std::ofstream(path("plugins/readme.txt")) << "not a module";
    const Outcome r = run("list " + path("plugins"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string p = path("plugins");
    for (const char* row :
         {"/zur\\.so +'QKV1' +1 +2 +8 +16\n",
          "/deeper/fake_stereo_through\\.so +'Thru' +2 +2 +0 +0\n",
          "/deeper/fake_foreign_main\\.so +the module crashed \\(signal ",
          "/deeper/fake_no_main\\.so +module '.*/fake_no_main\\.so' has no 'main' entry"})
        EXPECT_TRUE(std::regex_search(r.out, std::regex(row))) << row << "\n" << r.out;
    EXPECT_EQ(r.out.find("readme"), std::string::npos);

    const Outcome json = run("list --json " + path("plugins"));
    EXPECT_NE(json.out.find("\"path\": \"" + p +
                            "/zur.so\", \"uniqueID\": 1363891761, "
                            "\"uniqueIDText\": \"QKV1\", \"inputs\": 1, \"outputs\": 2, "
                            "\"parameters\": 8, \"programs\": 16}"),
              std::string::npos)
        << json.out;
    EXPECT_EQ(run("list " + path("nothere")).status, 1);
}

// The options each command's help lists, as "--name".
std::set<std::string> optionsInHelp(const std::string& help) {
    std::set<std::string> options;
    const std::regex option("(--[a-z]+)");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option);
         it != std::sregex_iterator(); ++it)
        options.insert((*it)[1]);
    return options;
}

// The man page and the completion script know every command and option.
TEST_F(Plughost, ManPageAndCompletionCoverEveryOption) {
    const std::string man = slurp(std::string(SOURCE_DIR) + "/plughost/plughost.1.in");
    const std::string completion = slurp(std::string(SOURCE_DIR) + "/plughost/plughost.bash");
    ASSERT_FALSE(man.empty());
    ASSERT_FALSE(completion.empty());
    for (const char* command : {"info", "render", "bench", "validate", "list"}) {
        const Outcome help = run(std::string(command) + " --help");
        ASSERT_EQ(help.status, 0) << command;
        EXPECT_NE(man.find(std::string(".SS ") + command), std::string::npos) << command;
        EXPECT_NE(completion.find(command), std::string::npos) << command;
        for (const std::string& option : optionsInHelp(help.out)) {
            // groff writes a hyphen in an option as "\-".
            EXPECT_NE(man.find("\\-\\-" + option.substr(2)), std::string::npos)
                << command << " " << option;
            EXPECT_NE(completion.find(option), std::string::npos) << command << " " << option;
        }
    }
}

}  // namespace
