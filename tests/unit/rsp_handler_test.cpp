#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <fstream>

#include "api/handler_registry.h"
#include "handlers/rsp_project.h"
#include "ks_sampledata/rsp_project.h"
#include "support/ascii_text.h"
#include "support/recording_feedback.h"
#include "support/scratch_folder.h"
#include "support/test_system.h"

using namespace ks_formats;
using ks_sampledata::RspProject;
using ks_sampledata::RspScan;
using ks_sampledata::RspScanPosition;
using ks_test::narrow;

namespace {

Matrix4d fromRows(const ks_sampledata::RspMatrix& m) {
    Matrix4d out;
    for (int i = 0; i < 16; ++i) out.m[i] = m[i];
    return out;
}

class RspProjectRead : public ::testing::Test {
protected:
    void SetUp() override { dir = ks_test::scratchFolder(); }
    ks_formats::WideString writeText(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
        return ks_test::widePath(dir / name);
    }
    ks_formats::WideString writeProject(const RspProject& project) {
        const auto path = dir / "site.rsp";
        ks_sampledata::writeRspProject(path, project);
        return ks_test::widePath(path);
    }
    std::vector<std::string> importFiles() {
        std::vector<std::string> out;
        const std::string folder = dir.string() + "/";
        for (int i = 0; i < batch.numImportFiles(); ++i) {
            std::string name = narrow(batch.getImportFilename(i));
            if (name.rfind(folder, 0) == 0) name = name.substr(folder.size());
            out.push_back(name);
        }
        return out;
    }
    const Matrix4d& matrixOf(int index) {
        return *static_cast<ScanInfo*>(batch._getScanInfo(static_cast<unsigned>(index)))
                    ->getMatrix();
    }

    std::filesystem::path dir;
    ImportBatch batch{KS_WIDE("tests")};
};

TEST_F(RspProjectRead, ScansInDocumentOrderEachWithPopTimesSop) {
    RspProject project;
    project.pop = ks_sampledata::rspTranslation(100, 0, 0);
    RspScanPosition b{"PosB",
                      ks_sampledata::rspTranslation(5, 6, 7),
                      {RspScan{"scan_colored", "b1.rxp"}, RspScan{"scan", "b2.RXP"}}};
    RspScanPosition a{"PosA",
                      ks_sampledata::rspPlacement(90, 1, 2, 3),
                      {RspScan{"scan_computed", "a1.las"}, RspScan{"scan_other", "x.rxp"}}};
    project.positions = {b, a};
    for (bool popLast : {false, true}) {
        SCOPED_TRACE(popLast ? "pop after the scan positions" : "pop first");
        project.popAfterScanPositions = popLast;
        batch.removeImportFiles();
        ASSERT_TRUE(theRSPHandler().createBatch(&batch, writeProject(project)));
        EXPECT_EQ(importFiles(), (std::vector<std::string>{"SCANS/PosB/SINGLESCANS/b1.rdb",
                                                           "SCANS/PosB/SINGLESCANS/b2.rdb",
                                                           "SCANS/PosA/SINGLESCANS/a1.las"}));
        ASSERT_EQ(batch.numImportFiles(), 3);
        Matrix4d expectedB = fromRows(b.sop);
        if (!popLast) expectedB(0, 3) += 100;
        EXPECT_EQ(matrixOf(0), expectedB);
        EXPECT_EQ(matrixOf(1), expectedB) << "every scan of a position gets its matrix";
        const Matrix4d expectedA =
            popLast ? fromRows(a.sop) : multiply(fromRows(project.pop), fromRows(a.sop));
        EXPECT_EQ(matrixOf(2), expectedA);
        EXPECT_EQ(matrixOf(2)(0, 3), popLast ? 1 : 101);
    }
    batch.removeImportFiles();
    batch.RSPSettings().setDataSource(RSPOpt::DataSourceScanFile);
    project.popAfterScanPositions = false;
    ASSERT_TRUE(theRSPHandler().createBatch(&batch, writeProject(project)));
    EXPECT_EQ(importFiles()[1], "SCANS/PosB/SINGLESCANS/b2.RXP") << "scan files stay as written";
}

TEST_F(RspProjectRead, ElementNamesAreExactAndMatrixTextIsFree) {
    const auto path = writeText("p.rsp", R"(<?xml version="1.0"?>
<!DOCTYPE document SYSTEM "missing-beside-the-file.dtd">
<document>
  <ScanPositions><scanposition><name>Ignored</name></scanposition></ScanPositions>
  <scanpositions>
    <scanposition>
      <!-- a comment first -->
      <name>Pos&amp;1</name>
      <singlescans><scan><file>one.3DD</file></scan><Scan><file>two.rxp</file></Scan></singlescans>
      <SOP><matrix>9 9 9 9</matrix></SOP>
      <sop><matrix>
        1	0   0 5
        0 1 0 6

        0 0 1 7   0 0 0 1 99 98
      </matrix></sop>
    </scanposition>
    <scanposition><singlescans><scan/></singlescans></scanposition>
  </scanpositions>
</document>
)");
    ASSERT_TRUE(theRSPHandler().createBatch(&batch, path));
    EXPECT_EQ(importFiles(), (std::vector<std::string>{"SCANS/Pos&1/SINGLESCANS/one.rdb",
                                                       "SCANS//SINGLESCANS/(empty)"}));
    Matrix4d expected = Matrix4d::identity();
    expected(0, 3) = 5;
    expected(1, 3) = 6;
    expected(2, 3) = 7;
    EXPECT_EQ(matrixOf(0), expected) << "numbers past the 16th are ignored";
    EXPECT_EQ(matrixOf(1), Matrix4d::identity()) << "no sop: the project's placement";
}

TEST_F(RspProjectRead, UnreadableProjectsLeaveTheBatchAlone) {
    batch.addImportFile(KS_WIDE("/keep/me.rxp"));
    const ks_formats::WideString paths[] = {
        ks_test::widePath(dir / "missing.rsp"),
        writeText("bad.rsp", "<document><scanpositions></document>"),
        writeText("empty.rsp", ""),
    };
    for (const auto& path : paths) EXPECT_FALSE(theRSPHandler().createBatch(&batch, path));
    EXPECT_FALSE(theRSPHandler().createBatch(nullptr, paths[0]));
    EXPECT_TRUE(theRSPHandler().createBatch(&batch, writeText("none.rsp", "<document/>")));
    EXPECT_EQ(importFiles(), (std::vector<std::string>{"/keep/me.rxp"}));
}

// What a person reads when a project cannot be used: the system's words for a missing file, the
// parser's line and message for a malformed one, and why a readable project among other inputs
// converts nothing.
TEST_F(RspProjectRead, AProjectThatIsNotConvertedSaysWhy) {
    const std::string missing = (dir / "missing.rsp").string();
    ProjectContents project;
    std::string why;
    EXPECT_FALSE(readProject(missing, project, &why));
    EXPECT_EQ(why, missing + ": No such file or directory");
    const ks_formats::WideString bad =
        writeText("bad.rsp", "<document>\n<scanpositions>\n</document>\n");
    EXPECT_FALSE(readProject(narrow(bad.c_str()), project, &why));
    EXPECT_EQ(why.rfind(narrow(bad.c_str()) + ": not a project file: line 3: ", 0), 0u) << why;
    EXPECT_NE(why.find("mismatch"), std::string::npos) << why;

    ks_test::RecordingFeedback feedback;
    batch.setFeedbackObject(&feedback);
    const ks_formats::WideString good = writeText("good.rsp", "<document/>");
    for (const ks_formats::WideString& path : {bad, good}) {
        ScanInfo scan;
        scan.setFilename(path.c_str());
        EXPECT_FALSE(theRSPHandler().import(&batch, &scan));
    }
    ASSERT_EQ(feedback.errors.size(), 2u);
    EXPECT_EQ(feedback.errors[0].result, ResultFailed);
    EXPECT_NE(feedback.errors[0].reason.find(KS_WIDE("line 3: ")), ks_formats::WideString::npos);
    EXPECT_NE(feedback.errors[1].reason.find(KS_WIDE("only when it is the batch's only input")),
              ks_formats::WideString::npos);
}

TEST_F(RspProjectRead, ExternalEntitiesAreNeverLoaded) {
    writeText("secret.txt", "SECRET");
    const auto path = writeText("p.rsp", R"(<?xml version="1.0"?>
<!DOCTYPE document [ <!ENTITY leak SYSTEM "secret.txt"> ]>
<document><scanpositions><scanposition><name>P</name>
<singlescans><scan><file>&leak;</file></scan></singlescans></scanposition></scanpositions></document>
)");
    ASSERT_TRUE(theRSPHandler().createBatch(&batch, path));
    ASSERT_EQ(batch.numImportFiles(), 1);
    EXPECT_EQ(narrow(batch.getImportFilename(0)).find("SECRET"), std::string::npos);
}

TEST_F(RspProjectRead, NamesAreUtf8AndBounded) {
    RspProject project;
    const std::string longName = std::string(126, 'n') + "\xC3\xA9" + "tail";  // é across 127
    project.positions = {
        RspScanPosition{"Pos\xC3\xA9",
                        ks_sampledata::rspIdentity(),
                        {RspScan{"scan", "\xC3\xBC\xE2\x82\xAC.rxp"}}},
        RspScanPosition{longName,
                        ks_sampledata::rspIdentity(),
                        {RspScan{"scan", "a.rxp"}, RspScan{"scan", std::string(600, 'f')}}}};
    ASSERT_TRUE(theRSPHandler().createBatch(&batch, writeProject(project)));
    ASSERT_EQ(batch.numImportFiles(), 2) << "a path too long for the path buffer is left out";
    EXPECT_EQ(
        ks_formats::WideString(batch.getImportFilename(0)),
        ks_test::widePath(dir / "SCANS") + KS_WIDE("/Pos\u00e9/SINGLESCANS/\u00fc\u20ac.rdb"));
    EXPECT_EQ(ks_formats::WideString(batch.getImportFilename(1)),
              ks_test::widePath(dir / "SCANS") + KS_WIDE("/") +
                  ks_formats::WideString(126, KS_WIDE('n')) + KS_WIDE("/SINGLESCANS/a.rdb"))
        << "cut before the character that would not fit whole";
}

TEST(RspMatrixText, BadNumbersAndTheLocale) {
    Matrix4d m = Matrix4d::identity();
    EXPECT_EQ(parseMatrixText("2.5 x +3 -0.25e1 1e999 nan 7,5", m), 7);
    EXPECT_EQ(std::vector<double>(m.m, m.m + 8), (std::vector<double>{2.5, 0, 3, -2.5, 0, 0, 7, 0}))
        << "the rest keeps its values";
    EXPECT_EQ(m(2, 2), 1);
    EXPECT_EQ(parseMatrixText("", m), 0);

    // Under a locale whose decimal point is a comma the numbers still read with a period.
    const auto locales = ks_test::scratchFolder();
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "German_Germany.1252")) {
#if defined(_WIN32)
        GTEST_SKIP() << "no German locale";
#else
        const std::string make = "localedef -i de_DE -f UTF-8 '" +
                                 (locales / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
        if (std::system(make.c_str()) == 0) setenv("LOCPATH", locales.c_str(), 1);
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE.UTF-8 locale";
#endif
    }
    ASSERT_NE(std::atof("1.5"), 1.5) << "the locale reads 1.5 as 1";
    Matrix4d local = Matrix4d::identity();
    parseMatrixText("1.5 0 0 1234.125", local);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(local(0, 0), 1.5);
    EXPECT_EQ(local(0, 3), 1234.125);
}

TEST(RspScanPath, FolderOfTheProject) {
    ScanPosition position;
    position.name = "P";
    ProjectScan scan;
    scan.file = KS_WIDE("s.rxp");
    EXPECT_EQ(scanFilePath(KS_WIDE("/data/site.rsp"), position, scan),
              KS_WIDE("/data/SCANS/P/SINGLESCANS/s.rxp"));
    EXPECT_EQ(scanFilePath(KS_WIDE("/site.rsp"), position, scan),
              KS_WIDE("/SCANS/P/SINGLESCANS/s.rxp"));
    EXPECT_EQ(scanFilePath(KS_WIDE("site.rsp"), position, scan),
              KS_WIDE("SCANS/P/SINGLESCANS/s.rxp"))
        << "beside a project named without a folder, not at the root";
}

}  // namespace
