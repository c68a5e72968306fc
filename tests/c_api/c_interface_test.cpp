// The C interface through the shared library, as a C host links it: the same conversions as
// through the C++ interface, byte for byte; callbacks, the point filter and a cancel from another
// thread; and every misuse at the boundary answered with a code and a reason.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ks_formats/ks_formats.h"
#include "ks_formats/ks_formats_c.h"
#include "ks_sampledata/sample_project.h"
#include "support/file_bytes.h"
#include "support/library_session.h"
#include "support/scratch_folder.h"

namespace fs = std::filesystem;

namespace {

std::string lastError() { return ksf_last_error(); }

struct Recorder {
    std::vector<int32_t> overall;
    std::vector<std::string> errors;  // "result phase reason"
    std::function<void(ksf_batch*)> atProgress;
};

void KSF_CALL onProgress(void* user, ksf_batch* batch, const char*, const uint16_t*,
                         int32_t overall, int32_t, int32_t, int32_t) {
    auto* recorder = static_cast<Recorder*>(user);
    recorder->overall.push_back(overall);
    if (recorder->atProgress) recorder->atProgress(batch);
}

void KSF_CALL onError(void* user, ksf_batch*, const char*, const uint16_t*, int32_t result, int32_t,
                      int32_t phase, const char* reason) {
    static_cast<Recorder*>(user)->errors.push_back(std::to_string(result) + " " +
                                                   std::to_string(phase) + " " + reason);
}

ksf_feedback feedbackOf(Recorder& recorder) { return {&recorder, &onProgress, &onError}; }

// One sample project for the program, with grid scans and point streams.
class CInterface : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(ks_test::initializeOnce(), ks_formats::ResultSuccess);
        folder = new fs::path(ks_test::scratchFolder());
        ks_sampledata::SampleProjectSettings settings;
        settings.points = 20'000;
        project = new fs::path(
            ks_sampledata::writeSampleProject(*folder / "project", settings).projectFile);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(*folder, ignored);
        delete project;
        delete folder;
    }
    void TearDown() override { ksf_batch_destroy(batch); }

    // A batch of the sample project read from its scan files, into output.
    ksf_batch* projectBatch(const fs::path& output, int32_t mode) {
        batch = ksf_batch_create("c interface test");
        EXPECT_NE(batch, nullptr) << lastError();
        EXPECT_EQ(ksf_batch_set(batch, KSF_SETTING_BATCH_MODE, mode), KSF_SUCCESS);
        EXPECT_EQ(ksf_batch_set(batch, KSF_SETTING_PROJECT_DATA_SOURCE, 1), KSF_SUCCESS);
        EXPECT_EQ(ksf_batch_add_import_file(batch, project->string().c_str()), KSF_SUCCESS);
        EXPECT_EQ(ksf_batch_set_output(batch, output.string().c_str()), KSF_SUCCESS);
        return batch;
    }

    static inline fs::path* folder = nullptr;
    static inline fs::path* project = nullptr;
    ksf_batch* batch = nullptr;
};

// Both conversions write into the same folder, one after the other: the files hold their own
// names, so only the same place gives the same bytes. A tag set between the writer's files
// belongs to every later file, so each of the two follows the same conversion (the C++ one,
// made once more before).
TEST_F(CInterface, ConvertsTheSameBytesAsTheCppInterfaceInEveryMode) {
    for (const int32_t mode : {1, 2, 3}) {
        SCOPED_TRACE(mode);
        const fs::path dir = *folder / ("mode" + std::to_string(mode));
        fs::create_directories(dir);
        const fs::path output = mode == 3 ? dir / "site.nox" : dir;

        std::vector<std::string> names;
        std::vector<std::vector<uint8_t>> bytes;
        for (int run = 0; run < 2; ++run) {
            ks_formats::ImportBatch reference(KS_WIDE("c interface test"));
            reference.setBatchMode(ks_formats::BatchMode(mode));
            reference.RSPSettings().setDataSource(ks_formats::RSPOpt::DataSourceScanFile);
            reference.addImportFile(project->u16string().c_str());
            reference.setOutputFilename(output.u16string().c_str());
            ASSERT_EQ(ks_formats::ConvertBatchToNOX(&reference), ks_formats::ResultSuccess);
            names.clear();
            bytes.clear();
            for (int32_t i = 0; i < reference.numExportedFiles(); ++i) {
                names.emplace_back(reference.getExportedFilenameA(i));
                bytes.push_back(ks_test::readBytes(names.back()));
                fs::remove(names.back());
            }
        }

        Recorder recorder;
        const ksf_feedback feedback = feedbackOf(recorder);
        projectBatch(output, mode);
        ASSERT_EQ(ksf_batch_set_feedback(batch, &feedback), KSF_SUCCESS);
        ASSERT_EQ(ksf_convert(batch), KSF_SUCCESS) << lastError();
        EXPECT_TRUE(recorder.errors.empty());
        ASSERT_FALSE(recorder.overall.empty());
        EXPECT_EQ(recorder.overall.back(), 100);

        ASSERT_EQ(ksf_batch_exported_count(batch), int32_t(names.size()));
        for (int32_t i = 0; i < int32_t(names.size()); ++i) {
            const int32_t needed = ksf_batch_exported_name(batch, i, nullptr, 0);
            std::string name(size_t(needed), '\0');
            ASSERT_EQ(ksf_batch_exported_name(batch, i, name.data(), needed), needed);
            name.resize(size_t(needed - 1));
            EXPECT_EQ(name, names[size_t(i)]);
            EXPECT_EQ(ks_test::readBytes(name), bytes[size_t(i)]) << name;

            std::u16string wide(size_t(ksf_batch_exported_name_w(batch, i, nullptr, 0)), u'\0');
            ksf_batch_exported_name_w(batch, i, reinterpret_cast<uint16_t*>(wide.data()),
                                      int32_t(wide.size()));
            EXPECT_EQ(fs::path(wide.c_str()), fs::path(name));
        }
        ksf_batch_destroy(batch);
        batch = nullptr;
    }
}

// The filter sees every point and can drop it; a failing file is listed with its reason.
int32_t KSF_CALL dropEverySecond(void* user, double*, uint8_t*, int16_t*, float*, uint8_t*) {
    return (*static_cast<int*>(user))++ % 2 == 0;
}

TEST_F(CInterface, FilterAndFailuresReachTheHost) {
    const fs::path out = *folder / "filtered";
    fs::create_directories(out);
    projectBatch(out / "site.nox", 3);
    int calls = 0;
    ASSERT_EQ(ksf_batch_set_point_filter(batch, &dropEverySecond, &calls), KSF_SUCCESS);
    ASSERT_EQ(ksf_convert(batch), KSF_SUCCESS) << lastError();
    EXPECT_GT(calls, 10'000);

    ksf_batch_destroy(batch);
    batch = ksf_batch_create(nullptr);
    Recorder recorder;
    const ksf_feedback feedback = feedbackOf(recorder);
    ksf_batch_set_feedback(batch, &feedback);
    ksf_batch_add_import_file(batch, (*folder / "missing.rxp").string().c_str());
    ksf_batch_add_import_file(batch, (*folder / "notes.txt").string().c_str());
    ksf_batch_set(batch, KSF_SETTING_BATCH_MODE, 2);
    ksf_batch_set_output(batch, out.string().c_str());
    EXPECT_EQ(ksf_convert(batch), KSF_SUCCESS) << "single files fail, the conversion goes on";
    ASSERT_EQ(ksf_batch_failure_count(batch), 2);
    ksf_failure failure;
    ASSERT_EQ(ksf_batch_failure(batch, 1, &failure), KSF_SUCCESS);
    EXPECT_EQ(failure.file_index, 1);
    EXPECT_EQ(failure.result, KSF_UNSUPPORTED_FILE_TYPE);
    EXPECT_NE(std::string(failure.file_utf8).find("notes.txt"), std::string::npos);
    EXPECT_NE(std::string(failure.reason_utf8).find("no reader converts"), std::string::npos);
    ASSERT_EQ(recorder.errors.size(), 2u);
    EXPECT_EQ(recorder.errors[1], "10 2 " + std::string(failure.reason_utf8));
    EXPECT_EQ(ksf_batch_failure(batch, 2, &failure), KSF_INVALID_ARGUMENT);
}

TEST_F(CInterface, CancelFromAnotherThreadStopsTheConversion) {
    const fs::path out = *folder / "cancelled";
    fs::create_directories(out);
    projectBatch(out / "site.nox", 3);
    ksf_batch_set(batch, KSF_SETTING_FEEDBACK_COUNT, 100);
    std::atomic<bool> started{false}, cancelled{false};
    Recorder recorder;
    recorder.atProgress = [&](ksf_batch*) {
        started = true;
        // Held until the other thread's cancel has been made.
        while (!cancelled) std::this_thread::yield();
    };
    const ksf_feedback feedback = feedbackOf(recorder);
    ksf_batch_set_feedback(batch, &feedback);
    std::thread canceller([&] {
        while (!started) std::this_thread::yield();
        EXPECT_EQ(ksf_cancel(batch), KSF_CANCELLED);
        cancelled = true;
    });
    EXPECT_EQ(ksf_convert(batch), KSF_CANCELLED);
    started = cancelled = true;  // lets the canceller go should the conversion never report
    canceller.join();
    EXPECT_EQ(ksf_batch_exported_count(batch), 0);
}

// What a callback may do from inside the conversion: read, not change, and destroy the batch,
// which then goes when the conversion returns.
TEST_F(CInterface, CallbacksThatCallBackAreRefusedOrDeferred) {
    const fs::path out = *folder / "reentrant";
    fs::create_directories(out);
    projectBatch(out / "site.nox", 3);
    std::vector<int32_t> answers;
    Recorder recorder;
    recorder.atProgress = [&](ksf_batch* converting) {
        if (!answers.empty()) return;
        answers.push_back(ksf_convert(converting));
        answers.push_back(ksf_batch_add_import_file(converting, "/in/more.rxp"));
        answers.push_back(ksf_batch_import_count(converting));
        ksf_batch_destroy(converting);
        answers.push_back(ksf_batch_import_count(converting));
    };
    const ksf_feedback feedback = feedbackOf(recorder);
    ksf_batch_set_feedback(batch, &feedback);
    EXPECT_EQ(ksf_convert(batch), KSF_SUCCESS);
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_EQ(answers[0], KSF_FAILED) << "a batch being converted is not converted again";
    EXPECT_EQ(answers[1], KSF_FAILED) << "nor changed";
    EXPECT_GT(answers[2], 1) << "the project's scans";
    EXPECT_EQ(answers[3], answers[2]) << "still there until the conversion returns";
    EXPECT_EQ(ksf_batch_import_count(batch), -1) << "destroyed when the conversion returned";
    EXPECT_NE(lastError().find("no live batch"), std::string::npos);
    batch = nullptr;
}

TEST_F(CInterface, MisuseIsAnsweredWithACodeAndAReason) {
    EXPECT_EQ(ksf_convert(nullptr), KSF_INVALID_BATCH);
    EXPECT_NE(lastError().find("ksf_convert: the handle is no live batch"), std::string::npos);
    ksf_batch* gone = ksf_batch_create("x");
    ksf_batch_destroy(gone);
    EXPECT_EQ(ksf_batch_set_output(gone, "/out"), KSF_INVALID_BATCH);
    EXPECT_EQ(ksf_cancel(gone), KSF_INVALID_BATCH);
    ksf_batch_destroy(gone);  // twice: ignored
    auto* forged = reinterpret_cast<ksf_batch*>(&gone);
    EXPECT_EQ(ksf_batch_exported_count(forged), -1);

    batch = ksf_batch_create("x");
    EXPECT_EQ(ksf_batch_add_import_file(batch, "/in/\xC3("), KSF_INVALID_ARGUMENT);
    EXPECT_NE(lastError().find("not UTF-8: byte 4"), std::string::npos) << lastError();
    for (const char* overlongOrSurrogate :
         {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"})
        EXPECT_EQ(ksf_batch_set_output(batch, overlongOrSurrogate), KSF_INVALID_ARGUMENT);
    EXPECT_EQ(ksf_batch_add_import_file(batch, "/in/caf\xC3\xA9.rxp"), KSF_SUCCESS);
    EXPECT_EQ(ksf_batch_add_import_file(batch, nullptr), KSF_INVALID_ARGUMENT);
    EXPECT_EQ(ksf_batch_add_import_file_w(batch, nullptr), KSF_INVALID_ARGUMENT);

    EXPECT_EQ(ksf_batch_set(batch, 999, 1), KSF_INVALID_ARGUMENT);
    EXPECT_NE(lastError().find("there is no setting 999"), std::string::npos);
    EXPECT_EQ(ksf_batch_set(batch, KSF_SETTING_MINIMUM_SCAN_SIZE, 2.5), KSF_INVALID_ARGUMENT);
    EXPECT_EQ(ksf_batch_set(batch, KSF_SETTING_COLOUR_BITS, 12), KSF_INVALID_ARGUMENT);
    EXPECT_EQ(ksf_batch_set(batch, KSF_SETTING_COMPRESSION_TOLERANCE, 1e300), KSF_INVALID_ARGUMENT);
    EXPECT_EQ(ksf_batch_get(batch, KSF_SETTING_BATCH_MODE, nullptr), KSF_INVALID_ARGUMENT);

    // Text results: the size is answered, and a buffer too small is left alone.
    const int32_t needed = ksf_batch_import_name(batch, 0, nullptr, 0);
    EXPECT_EQ(needed, int32_t(std::string("/in/caf\xC3\xA9.rxp").size() + 1));
    char small[4] = "abc";
    EXPECT_EQ(ksf_batch_import_name(batch, 0, small, 4), needed);
    EXPECT_STREQ(small, "abc");
    EXPECT_NE(lastError().find("the buffer holds 4 units"), std::string::npos);
    EXPECT_EQ(ksf_batch_import_name(batch, 1, nullptr, 0), 0);
    EXPECT_NE(lastError().find("import file 1 does not exist"), std::string::npos);
    EXPECT_EQ(ksf_batch_set_matrix(batch, 0, nullptr), KSF_INVALID_ARGUMENT);
    EXPECT_EQ(ksf_batch_failure(batch, 0, nullptr), KSF_INVALID_ARGUMENT);
    EXPECT_EQ(ksf_format_info_of(15, nullptr), KSF_INVALID_ARGUMENT);
}

TEST_F(CInterface, SettingsFilesAndFormatsRoundTrip) {
    batch = ksf_batch_create("x");
    const std::vector<std::pair<int32_t, double>> values = {
        {KSF_SETTING_BATCH_MODE, 2},          {KSF_SETTING_COMPRESSION_TOLERANCE, 0.25},
        {KSF_SETTING_SPATIAL_FILTERING, 0.5}, {KSF_SETTING_UNITS_PER_METER, 1000},
        {KSF_SETTING_INCLUDE_RGB, 0},         {KSF_SETTING_INCLUDE_CLASSIFICATION, 1},
        {KSF_SETTING_MINIMUM_SCAN_SIZE, 4},   {KSF_SETTING_COLOUR_BITS, 8},
        {KSF_SETTING_RECURSIVE_SEARCH, 1},    {KSF_SETTING_FEEDBACK_COUNT, 7},
        {KSF_SETTING_PROJECT_DATA_SOURCE, 1}, {KSF_SETTING_PROJECT_REFLECTANCE_SCALE, 250},
        {KSF_SETTING_TEXT_RED_COLUMN, 6},     {KSF_SETTING_TEXT_RGB_HIGH, 65535},
    };
    for (const auto& [setting, value] : values) {
        ASSERT_EQ(ksf_batch_set(batch, setting, value), KSF_SUCCESS) << setting;
        double read = -1;
        ASSERT_EQ(ksf_batch_get(batch, setting, &read), KSF_SUCCESS);
        EXPECT_EQ(read, value) << setting;
    }
    ksf_batch_set(batch, KSF_SETTING_FEEDBACK_COUNT, 0);
    double count = 0;
    ksf_batch_get(batch, KSF_SETTING_FEEDBACK_COUNT, &count);
    EXPECT_EQ(count, 1) << "as the C++ batch stores it";

    ksf_batch_add_import_file_w(batch, reinterpret_cast<const uint16_t*>(u"/in/\u00e9.rxp"));
    const double placed[16] = {1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7, 0, 0, 0, 1};
    ASSERT_EQ(ksf_batch_set_matrix(batch, 0, placed), KSF_SUCCESS);
    double read[16] = {};
    ASSERT_EQ(ksf_batch_get_matrix(batch, 0, read), KSF_SUCCESS);
    EXPECT_EQ(std::vector<double>(read, read + 16), std::vector<double>(placed, placed + 16));
    char name[32];
    ASSERT_GT(ksf_batch_import_name(batch, 0, name, sizeof name), 0);
    EXPECT_STREQ(name, "/in/\xC3\xA9.rxp");

    EXPECT_EQ(ksf_input_format_count(), ks_formats::NumSupportedFormats());
    EXPECT_EQ(ksf_input_format_id(0), ks_formats::GetFormatID(0));
    ksf_format_info info;
    ASSERT_EQ(ksf_format_info_of(ks_formats::FormatLAS, &info), KSF_SUCCESS);
    char cppName[1024], cppExtension[4];
    bool flag1, flag2;
    ASSERT_TRUE(
        ks_formats::GetFormatInfo(ks_formats::FormatLAS, cppName, cppExtension, &flag1, &flag2));
    EXPECT_STREQ(info.name, cppName);
    EXPECT_STREQ(info.extension, cppExtension);
    EXPECT_EQ(info.parameter_count,
              ks_formats::GetNumSupportedFormatParameters(ks_formats::FormatLAS));
    ksf_format_parameter parameter;
    ASSERT_EQ(ksf_format_parameter_at(ks_formats::FormatLAS, 0, &parameter), KSF_SUCCESS);
    EXPECT_EQ(parameter.id, ks_formats::GetSupportedFormatParameterID(ks_formats::FormatLAS, 0));
    EXPECT_EQ(ksf_format_parameter_at(ks_formats::FormatLAS, 99, &parameter), KSF_INVALID_ARGUMENT);
    EXPECT_STREQ(ksf_version(), "0.1.0");
    EXPECT_EQ(ksf_interface_version(), KSF_INTERFACE_VERSION);
}

}  // namespace
