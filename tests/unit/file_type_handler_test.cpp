#include <gtest/gtest.h>

#include <functional>

#include "api/handler_registry.h"
#include "handlers/scan_import.h"
#include "ks_formats/api.h"
#include "platform/component.h"
#include "support/library_session.h"
#include "support/recording_feedback.h"
#include "support/recording_writer_client.h"
#include "support/test_handler.h"

using namespace ks_formats;

namespace {

// What a process sees before and after its first Initialize.
TEST(HandlerRegistryInFreshProcess, InitializeRegistersTheFourScannerHandlersInOrder) {
    EXPECT_EQ(handlerCount(), 0u) << "empty until Initialize";
    EXPECT_EQ(NumSupportedFormats(), 0);
    ASSERT_EQ(Initialize(), ResultSuccess);
    EXPECT_EQ(GetNumSupportedFormats(), 4);
    const FormatID expected[] = {FormatRiegl3DD, FormatRieglRDB, FormatRieglRSP, FormatRieglRXP};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(GetFormatID(i), expected[i]);
        ks_formats::WideChar extension[64], description[128];
        ASSERT_TRUE(FormatInfo(i, extension, description));
        EXPECT_EQ(ks_formats::WideString(extension), KS_WIDE("3dd"));
        EXPECT_EQ(ks_formats::WideString(description),
                  KS_WIDE("Riegl RSP/RDB/RXP/3DD importer (module)"));
        char narrowExtension[64], narrowDescription[128];
        ASSERT_TRUE(FormatInfo(i, narrowExtension, narrowDescription));
        EXPECT_STREQ(narrowDescription, "Riegl RSP/RDB/RXP/3DD importer (module)");
    }
    for (int bad : {4, -1}) {
        ks_formats::WideChar extension[8] = KS_WIDE("x"), description[8] = KS_WIDE("y");
        EXPECT_FALSE(FormatInfo(bad, extension, description));
        EXPECT_EQ(extension[0], 0);
        EXPECT_EQ(description[0], 0);
        EXPECT_EQ(GetFormatID(bad), FormatNone);
    }
    EXPECT_EQ(handlerAt(4), nullptr);
}

TEST(HandlerRegistry, ExtensionsAreTheLastThreeCharactersCaseAsGiven) {
    ASSERT_EQ(ks_test::initializeOnce(), ResultSuccess);
    EXPECT_EQ(findHandlerForName(KS_WIDE("/d/a.rxp")), &theRXPHandler());
    EXPECT_EQ(findHandlerForName(KS_WIDE("/d/a.RXP")), &theRXPHandler());
    EXPECT_EQ(findHandlerForName(KS_WIDE("/d/a.Rxp")), nullptr);
    EXPECT_EQ(findHandlerForName(KS_WIDE("/d/scanrxp")), &theRXPHandler()) << "no dot needed";
    EXPECT_EQ(findHandlerForName(KS_WIDE("/d/a.rxp1")), nullptr);
    EXPECT_EQ(findHandlerForName(KS_WIDE("/d/p.rsp")), &theRSPHandler());
    EXPECT_EQ(findHandlerForName(KS_WIDE("/d/p.RDB")), &theRDBHandler());
    EXPECT_EQ(findHandlerForName(KS_WIDE("/d/p.3DD")), &the3DDHandler());
    EXPECT_EQ(findHandlerForName(KS_WIDE("/d/p.nox")), nullptr)
        << "the NOX handler is not registered";
    EXPECT_EQ(findHandlerForName(KS_WIDE("xp")), nullptr);
    EXPECT_EQ(findHandlerForName(nullptr), nullptr);
    EXPECT_TRUE(theNOXHandler().acceptsExtension(KS_WIDE("NOX")));
    EXPECT_FALSE(theNOXHandler().acceptsExtension(KS_WIDE("nOX")));
    EXPECT_EQ(theNOXHandler().getFormatID(), FormatNOX);
    EXPECT_EQ(ks_formats::WideString(theNOXHandler().getDescription()), KS_WIDE("NOX importer"));
    EXPECT_FALSE(theRXPHandler().acceptsExtension(KS_WIDE("rxpx")));
    EXPECT_FALSE(theRSPHandler().import(nullptr, nullptr)) << "a project is never imported";
    EXPECT_FALSE(theRXPHandler().createBatch(nullptr, KS_WIDE("/p/x.rxp")));
}

// A name that does not fit the 512-unit path buffer is refused by every scanner handler alike:
// one (11, 2) with its length in the reason, and nothing reaches the writer. One unit less fits,
// and the handler goes on to the (missing) file instead.
TEST(ScannerHandlers, RefuseANameTooLongForThePathBufferWithOneCannotOpenReport) {
    ASSERT_TRUE(ks_test::bindRecordingWriter());
    struct Case {
        FileTypeHandler* handler;
        ks_formats::WideString extension;
        const char* label;
    };
    const Case cases[] = {{&theRDBHandler(), KS_WIDE(".rdb"), "database"},
                          {&theRXPHandler(), KS_WIDE(".rxp"), "stream"},
                          {&the3DDHandler(), KS_WIDE(".3dd"), "grid"}};
    for (const auto& [handler, extension, label] : cases) {
        SCOPED_TRACE(label);
        for (const size_t units : {512u, 511u}) {
            const ks_formats::WideString folder = KS_WIDE("/data/SCANS/p1/SINGLESCANS/");
            const ks_formats::WideString name =
                folder +
                ks_formats::WideString(units - folder.size() - extension.size(), KS_WIDE('n')) +
                extension;
            ImportBatch batch(KS_WIDE("tests"));
            ks_test::RecordingFeedback feedback;
            batch.setFeedbackObject(&feedback);
            ScanInfo scan;
            scan.setFilename(name.c_str());
            ks_test::resetWriterCalls();

            EXPECT_FALSE(handler->import(&batch, &scan));
            EXPECT_EQ(ks_test::writerCalls(), "");
            if (units == 511) {
                for (const auto& error : feedback.errors)
                    EXPECT_NE(error.result, ResultCannotOpenFile) << "511 units fit";
                continue;
            }
            ASSERT_EQ(feedback.errors.size(), 1u);
            EXPECT_EQ(feedback.errors[0].result, ResultCannotOpenFile);
            EXPECT_EQ(feedback.errors[0].phase, PhaseRead);
            EXPECT_NE(feedback.errors[0].reason.find(KS_WIDE("is 512 units long; at most 511 fit")),
                      ks_formats::WideString::npos);
        }
    }
}

// Filters for the point emission tests.
bool changeEverything(double* xyz, uint8_t* rgb, int16_t& intensity, float*, uint8_t& cls) {
    xyz[0] += 100;
    rgb[1] = 7;
    intensity = -3;
    cls = 9;
    return true;
}

int filterCalls = 0;
bool refuseEverySecond(double*, uint8_t*, int16_t&, float*, uint8_t&) {
    return filterCalls++ % 2 == 0;
}

class PointEmission : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ks_test::initializeOnce(), ResultSuccess);
        handler = &ks_test::freshTestHandler();
        handler->pointsPerFile = 4;
        batch.setOutputFilename(KS_WIDE("/out/x.nox"));
        batch.addImportFile(KS_WIDE("/in/a.tst"));
        batch.addImportFile(KS_WIDE("/in/b.tst"));
        ks_test::resetWriterCalls();
    }
    std::vector<std::string> pointLines() const {
        std::vector<std::string> result;
        for (const std::string& line : ks_test::writerCallLines())
            if (line.rfind("ksioAdd", 0) == 0 && line.find("Point") != std::string::npos)
                result.push_back(line);
        return result;
    }
    ks_test::TestHandler* handler = nullptr;
    ImportBatch batch{KS_WIDE("tests")};
};

TEST_F(PointEmission, WithoutAFilterEveryPointIsWrittenUnchanged) {
    ASSERT_EQ(ConvertBatchToNOX(&batch), ResultSuccess);
    const auto lines = pointLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[3], "ksioAddPoint(3 6 9,3 0 255,3,-,0)");
}

TEST_F(PointEmission, AFilterMayChangeEveryValue) {
    batch.setPointsFilterCallback(&changeEverything);
    ASSERT_EQ(ConvertBatchToNOX(&batch), ResultSuccess);
    EXPECT_EQ(pointLines()[2], "ksioAddPoint(102 4 6,2 7 255,-3,-,9)");
}

TEST_F(PointEmission, RefusedPointsBecomeNullPointsInStepWithTheSource) {
    filterCalls = 0;
    batch.setPointsFilterCallback(&refuseEverySecond);
    ASSERT_EQ(ConvertBatchToNOX(&batch), ResultSuccess);
    const auto lines = pointLines();
    ASSERT_EQ(lines.size(), 8u) << "one entry per source point";
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind(i % 2 ? "ksioAddNullPoint" : "ksioAddPoint(", 0), 0u) << i;
    // The driver takes the filter back after every import.
    handler->setPointsFilter(nullptr);
}

TEST(ScanImportFlow, UnitsScaleTheTranslationButNotTheRotation) {
    ASSERT_TRUE(ks_test::bindRecordingWriter());
    ImportBatch batch(KS_WIDE("tests"));
    batch.setUnitsPerMeter(1000.0);
    Matrix4d m = Matrix4d::identity();
    m(0, 1) = 0.5;
    m(0, 3) = 10;
    m(1, 3) = 20;
    m(2, 3) = 30;
    ks_test::TestHandler handler;
    ScanImport flow(batch, handler, m);
    EXPECT_DOUBLE_EQ(flow.scale(), 0.001);
    EXPECT_DOUBLE_EQ(flow.cloudMatrix()(0, 3), 0.01);
    EXPECT_DOUBLE_EQ(flow.cloudMatrix()(1, 3), 0.02);
    EXPECT_DOUBLE_EQ(flow.cloudMatrix()(2, 3), 0.03);
    EXPECT_DOUBLE_EQ(flow.cloudMatrix()(0, 1), 0.5);
    EXPECT_DOUBLE_EQ(flow.cloudMatrix()(3, 3), 1.0);
}

TEST(ScanImportFlow, FeedbackEveryCountPointsAndCancelSeenOnlyThere) {
    ASSERT_TRUE(ks_test::bindRecordingWriter());
    ImportBatch batch(KS_WIDE("tests"));
    ks_test::RecordingFeedback feedback;
    batch.setFeedbackObject(&feedback);
    ks_test::TestHandler handler;
    ScanImport flow(batch, handler, Matrix4d::identity());
    int feedbackPoints = 0;
    const std::function<void()> atFeedback = [&] { ++feedbackPoints; };
    // Cancelled after the last feedback point: not seen, every point written.
    struct Counting : PointSource {
        ImportBatch& batch;
        const std::function<void()>& hook;
        int next = 0;
        Counting(ImportBatch& b, const std::function<void()>& h) : batch(b), hook(h) {}
        bool readSome(PointOutput& out) override {
            while (next < 120000) {
                if (next++ == 100001) batch._setCancel(true);
                double xyz[3] = {0, 0, 0};
                uint8_t rgb[3] = {0, 0, 0};
                if (!out.point(xyz, rgb, 0, nullptr, 0)) return false;
            }
            return false;
        }
        int filePercent() const override {
            hook();
            return 50;
        }
    } points(batch, atFeedback);
    EXPECT_TRUE(flow.run({.outputInputName = KS_WIDE("a.tst"),
                          .outputIndex = -1,
                          .cloudFlags = 0,
                          .cloudName = nullptr},
                         points));
    EXPECT_EQ(feedbackPoints, 2);
    EXPECT_FALSE(flow.cancelled()) << "a cancel after the last feedback point is not seen";
    EXPECT_EQ(feedback.progress.size(), 2u);
    EXPECT_EQ(flow.handledPoints(), 120000u);
}

// The handler objects are made while the library loads, where initialising the component layer
// (COM, under the loader lock on Windows) is not allowed: they leave it to the import that
// uses it, so the loading thread finds it untouched.
TEST(HandlerObjects, LoadingLeavesTheComponentLayerOfTheThreadAlone) {
    // The library's handler objects, made before main on this thread.
    ASSERT_NE(&theRXPHandler(), nullptr);
    ASSERT_NE(&theRDBHandler(), nullptr);
    EXPECT_EQ(com::CoInitialize(nullptr), 0)  // S_OK, not S_FALSE
        << "something initialised the component layer at load";
    com::CoUninitialize();
}

}  // namespace
