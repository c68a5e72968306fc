// What the host kit refuses and of which kind: noxconvert's exit codes and the Python module's
// exception classes follow the kind, and the Python module names a missing input by the subject.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ks_formats/ks_formats.h"
#include "ks_hostkit/batch_inputs.h"
#include "ks_hostkit/conversion_plan.h"
#include "ks_hostkit/info_facts.h"
#include "ks_hostkit/nox_scene.h"
#include "support/library_session.h"
#include "support/sample_inputs.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using hostkit::Refusal;
using hostkit::RefusalKind;

void write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<RefusalKind> kindsOf(const std::vector<Refusal>& refusals) {
    std::vector<RefusalKind> kinds;
    for (const Refusal& refusal : refusals) kinds.push_back(refusal.kind);
    return kinds;
}

class HostKitRefusals : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(ks_test::initializeOnce(), ks_formats::ResultSuccess);
    }
    const fs::path folder = ks_test::scratchFolder();
};

TEST_F(HostKitRefusals, PlanRefusesEveryWrongInputAndOutputAtOnce) {
    fs::create_directories(folder / "scans");
    const std::string missing = (folder / "nowhere.rxp").string();
    const hostkit::Result<hostkit::ConversionPlan> plan =
        hostkit::makePlan({missing, (folder / "scans").string()}, (folder / "out").string(),
                          ks_formats::BatchModeSingleFile);
    ASSERT_FALSE(plan);
    const std::vector<Refusal>& refusals = plan.refusals();
    EXPECT_EQ(kindsOf(refusals),
              (std::vector<RefusalKind>{RefusalKind::Missing, RefusalKind::BadRequest,
                                        RefusalKind::BadRequest}));
    // The missing input is named as given: the Python module raises FileNotFoundError with it.
    EXPECT_EQ(refusals[0].reason, "input not found: " + missing);
    EXPECT_EQ(refusals[0].subject, missing);
    EXPECT_NE(refusals[1].reason.find("is a folder"), std::string::npos) << refusals[1].reason;
    EXPECT_NE(refusals[2].reason.find("in batch mode -o names the one output file"),
              std::string::npos)
        << refusals[2].reason;
    EXPECT_FALSE(fs::exists(folder / "out")) << "nothing is created for a refused plan";
}

TEST_F(HostKitRefusals, OutputFolderThatCannotBeMadeFails) {
    write(folder / "taken", "a file where the folder would go");
    const ks_test::SampleInputs inputs = ks_test::writeSampleInputs(folder);
    // Planning changes nothing on disk; making the folder is refused with the reason.
    const hostkit::Result<hostkit::ConversionPlan> plan =
        hostkit::makePlan({inputs.stream.string()}, (folder / "taken" / "out").string(),
                          ks_formats::BatchModePerFile);
    ASSERT_TRUE(plan) << plan.refusal().reason;
    const std::optional<Refusal> refusal = hostkit::createOutputFolder(*plan);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->kind, RefusalKind::Failed);
    EXPECT_NE(refusal->reason.find("cannot create the output folder"), std::string::npos)
        << refusal->reason;
}

TEST_F(HostKitRefusals, UnsupportedFilesComeBeforePatternsThatFindNothing) {
    const ks_test::SampleInputs inputs = ks_test::writeSampleInputs(folder);
    write(folder / "points.txt", "1 2 3\n");
    const std::string pattern = (folder / "none" / "*.rxp").string();
    hostkit::Result<hostkit::ConversionPlan> plan =
        hostkit::makePlan({inputs.stream.string(), (folder / "points.txt").string(), pattern},
                          (folder / "site.nox").string(), ks_formats::BatchModeSingleFile);
    ASSERT_TRUE(plan);

    std::vector<Refusal> refusals = hostkit::checkInputs(*plan, false);
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0].kind, RefusalKind::Unsupported);
    EXPECT_EQ(refusals[0].subject, (folder / "points.txt").string());

    plan->files.pop_back();  // without the text file, the pattern is what is wrong
    refusals = hostkit::checkInputs(*plan, false);
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0].kind, RefusalKind::Missing);
    EXPECT_EQ(refusals[0].reason, "no input matches " + pattern);
    EXPECT_EQ(refusals[0].subject, pattern);
}

TEST_F(HostKitRefusals, ProjectThatCannotBeReadIsUnreadable) {
    const ks_test::SampleInputs inputs = ks_test::writeSampleInputs(folder);
    write(folder / "broken.rsp", "<project><scanpositions>");
    hostkit::Result<hostkit::ConversionPlan> plan =
        hostkit::makePlan({inputs.stream.string(), (folder / "broken.rsp").string()},
                          (folder / "site.nox").string(), ks_formats::BatchModeSingleFile);
    ASSERT_TRUE(plan);
    ks_formats::ImportBatch batch(KS_WIDE("hostkit test"));
    const std::optional<Refusal> refusal = hostkit::fillBatch(batch, *plan);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->kind, RefusalKind::Unreadable);
    EXPECT_EQ(refusal->reason, "cannot read the project " + (folder / "broken.rsp").string());

    const auto scans =
        hostkit::projectScans((folder / "broken.rsp").string(), ks_formats::RSPOpt::DataSourceRdb);
    ASSERT_FALSE(scans);
    EXPECT_EQ(scans.refusal().kind, RefusalKind::Unreadable);
}

TEST_F(HostKitRefusals, NoxFilesMissingOrUnreadable) {
    const std::string missing = (folder / "nowhere.nox").string();
    const auto absent = hostkit::NoxScene::open(missing);
    ASSERT_FALSE(absent);
    EXPECT_EQ(absent.refusal().kind, RefusalKind::Missing);
    EXPECT_EQ(absent.refusal().reason, "no such file");
    EXPECT_EQ(absent.refusal().subject, missing);

    write(folder / "points.nox", std::string(4096, 'x'));
    const auto garbage = hostkit::NoxScene::open((folder / "points.nox").string());
    ASSERT_FALSE(garbage);
    EXPECT_EQ(garbage.refusal().kind, RefusalKind::Unreadable);

    // The facts say which file and keep the kind.
    const auto facts = hostkit::readInfoFacts(missing);
    ASSERT_FALSE(facts);
    EXPECT_EQ(facts.refusal().kind, RefusalKind::Missing);
    EXPECT_EQ(facts.refusal().reason, "cannot open " + missing + ": no such file");
}

}  // namespace
