// Writing outputs whole, refusing outputs that are inputs, the chart's
// thinned samples and the count of repeated messages.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "output/output_file.h"
#include "output/path_guard.h"
#include "report/message_tally.h"
#include "report/trend_samples.h"

namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = fs::temp_directory_path() / ("dcs-output-" + std::to_string(getpid())); }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) {
        fs::create_directories(dir_);
        return (dir_ / name).string();
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    size_t Entries() { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {})); }

    fs::path dir_;
};

TEST_F(OutputFileTest, TargetChangesOnlyAtCommitAndKeepsItsPermissions) {
    const std::string target = Path("out.csv");
    host::WriteWholeFile(target, "old\n");
    chmod(target.c_str(), 0640);
    {
        host::OutputFile file(target);
        file.Stream() << "new\n";
        EXPECT_EQ(Read(target), "old\n");
        EXPECT_EQ(Entries(), 2u);  // the target and the temporary file
        file.Commit();
    }
    EXPECT_EQ(Read(target), "new\n");
    EXPECT_EQ(Entries(), 1u);
    struct stat status {};
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
}

TEST_F(OutputFileTest, AbandonedOutputLeavesTheEarlierFileAndNoTemporary) {
    const std::string target = Path("out.csv");
    host::WriteWholeFile(target, "old\n");
    {
        host::OutputFile file(target);
        file.Stream() << "half";
    }
    EXPECT_EQ(Read(target), "old\n");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(OutputFileTest, WritesThroughALinkToTheFileItNames) {
    const std::string target = Path("real.csv");
    host::WriteWholeFile(target, "old\n");
    fs::create_symlink(target, Path("link.csv"));
    host::WriteWholeFile(Path("link.csv"), "new\n");
    EXPECT_TRUE(fs::is_symlink(Path("link.csv")));
    EXPECT_EQ(Read(target), "new\n");
}

TEST_F(OutputFileTest, UnusableTargetsAreRefusedWithTheReason) {
    fs::create_directories(Path("folder"));
    const struct {
        std::string path;
        const char* words;
    } cases[] = {
        {Path("folder"), "it is a directory"},
        {Path("none/out.csv"), "does not exist"},
        {Path("folder") + "/", "it is a directory"},
        {"", "no file name given"},
    };
    for (const auto& c : cases) {
        try {
            host::OutputFile file(c.path);
            ADD_FAILURE() << "accepted " << c.path;
        } catch (const host::OutputError& e) {
            EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
        }
    }
}

TEST_F(OutputFileTest, OutputsThatAreInputsOrEachOtherAreRefused) {
    const std::string caseFile = Path("case.toml");
    host::WriteWholeFile(caseFile, "x");
    fs::create_symlink(caseFile, Path("alias.toml"));
    const std::vector<host::PathUse> inputs = {{"the case file", caseFile}};
    const struct {
        std::vector<host::PathUse> outputs;
        const char* words;  // empty: accepted
    } cases[] = {
        {{{"--csv", Path("alias.toml")}}, "is the case file"},
        {{{"--csv", (dir_ / "sub" / ".." / "case.toml").string()}}, "is the case file"},
        {{{"--csv", Path("a.csv")}, {"--plot", (dir_ / "." / "a.csv").string()}}, "is the same file as --csv"},
        {{{"--csv", Path("a.csv")}, {"--plot", Path("a.svg")}}, ""},
    };
    fs::create_directories(Path("sub"));
    for (const auto& c : cases) {
        std::string message;
        try {
            host::RefuseOverlappingPaths(inputs, c.outputs);
        } catch (const host::OutputError& e) {
            message = e.what();
        }
        if (*c.words == '\0') {
            EXPECT_EQ(message, "");
        } else {
            EXPECT_NE(message.find(c.words), std::string::npos) << message;
        }
    }
}

host::StepRecord Step(int32_t step) {
    host::StepRecord record;
    record.step = step;
    return record;
}

TEST(TrendSamplesTest, KeepsEvenlySpacedStepsAndTheLast) {
    const struct {
        int32_t steps;
        int64_t stride;
    } cases[] = {{1, 1}, {8, 1}, {9, 2}, {10, 2}, {17, 4}, {1000, 128}, {1001, 128}};
    for (const auto& c : cases) {
        host::TrendSamples trend(8);
        for (int32_t step = 0; step < c.steps; ++step) trend.Add(Step(step));
        const std::vector<host::StepRecord> kept = trend.Thinned();
        EXPECT_EQ(trend.Stride(), c.stride) << c.steps;
        ASSERT_FALSE(kept.empty());
        EXPECT_LE(kept.size(), 9u) << c.steps;
        EXPECT_EQ(kept.back().step, c.steps - 1) << c.steps;
        for (size_t i = 0; i + 1 < kept.size(); ++i) {
            EXPECT_EQ(kept[i].step, static_cast<int64_t>(i) * c.stride) << c.steps;
        }
    }
}

TEST(MessageTallyTest, ShowsTheFirstTwentyOfEachAndCountsTheRest) {
    host::MessageTally tally;
    int shown = 0;
    for (int i = 0; i < 25; ++i) shown += tally.Add("KVMRXNT Error", "Unknown tag type 0") ? 1 : 0;
    for (int i = 0; i < 24; ++i) shown += tally.Add("MARLIXNT", "Unknown tag\nsecond line") ? 1 : 0;
    EXPECT_EQ(shown, 40);
    EXPECT_EQ(tally.Total(), 49);
    EXPECT_EQ(tally.NotShownLines(),
              (std::vector<std::string>{
                  "5 more of \"KVMRXNT Error\": Unknown tag type 0 (raised 25 times, the first 20 shown)",
                  "4 more of \"MARLIXNT\": Unknown tag ... (raised 24 times, the first 20 shown)"}));
}

}  // namespace
