// Binding the viewer library: by path, an already loaded copy, and a library lacking a function,
// which the writer's binding names the same way.
// The viewer binding is library-wide and kept once made: each test here needs a process of its
// own, where it starts unbound (the suffix InFreshProcess keeps them out of the shared run).
#include <gtest/gtest.h>

#include <filesystem>

#include "api/handler_registry.h"
#include "ks_formats/api.h"
#include "platform/dynamic_library.h"
#include "platform/library_binder.h"
#include "support/library_session.h"
#include "support/recording_feedback.h"
#include "support/recording_writer_client.h"
#include "support/scripted_lyrant_client.h"
#include "support/test_system.h"
#include "writer/writer_library.h"

using namespace ks_formats;
using ks_formats::platform::BindOutcome;

namespace {

const ks_formats::WideString kScripted = KS_WIDE("") KS_SCRIPTED_LYRANT_PATH;
const ks_formats::WideString kIncomplete = KS_WIDE("") KS_INCOMPLETE_LYRANT_PATH;
const ks_formats::WideChar* kNowhere = KS_WIDE("/nonexistent/libKestrionLyrantAPI.so");

std::string loadedViewer() { return platform::loadedLibraryPath(kLyrantLibraryName); }

TEST(LyrantBindingInFreshProcess, ByPathBindsOnceAndLaterCallsAnswerAtOnce) {
    ASSERT_EQ(loadedViewer(), "");
    EXPECT_EQ(LoadLyrantAPI(kScripted.c_str()), ResultSuccess);
    EXPECT_EQ(loadedViewer(), KS_SCRIPTED_LYRANT_PATH);
    const LyrantLibrary& bound = theNOXHandler().lyrant();
    EXPECT_TRUE(bound.bound);
    void* scripted = ks_test::loadedLibrary(KS_SCRIPTED_LYRANT_PATH);
    ASSERT_NE(scripted, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(bound.getQueryPointsd),
              ks_test::librarySymbol(scripted, "ksGetQueryPointsd"));
    ks_test::closeLibrary(scripted);
    const auto openNOX = bound.openNOX;
    EXPECT_EQ(LoadLyrantAPI(kNowhere), ResultSuccess) << "already bound: nothing is loaded";
    EXPECT_EQ(LoadLyrantAPI(nullptr), ResultSuccess);
    EXPECT_EQ(theNOXHandler().lyrant().openNOX, openNOX);
}

TEST(LyrantBindingInFreshProcess, FailuresAnswerByCauseAndKeepNothing) {
    NOXHandler handler;
    EXPECT_EQ(handler.bindLyrant(kNowhere), BindOutcome::NotLoaded);
    EXPECT_EQ(handler.bindLyrant(KS_WIDE("")), BindOutcome::NotLoaded);
    EXPECT_EQ(handler.bindLyrant(kIncomplete.c_str()), BindOutcome::FunctionMissing);
    EXPECT_FALSE(handler.lyrant().bound);
    EXPECT_EQ(handler.lyrant().openNOX, nullptr) << "no function of an incomplete library is kept";
    EXPECT_EQ(loadedViewer(), "") << "the incomplete library is closed again";
    EXPECT_EQ(handler.bindLyrant(kScripted.c_str()), BindOutcome::Bound)
        << "a later call starts afresh";
    EXPECT_TRUE(handler.lyrant().bound);
}

TEST(LibraryBindingInFreshProcess, ATableIsBoundWholeOrNotAtAll) {
    decltype(&::ksOpenNOX) openNOX = nullptr;
    decltype(&::ksGetQueryPointsd) getQueryPointsd = nullptr;
    const platform::FunctionSlot slots[] = {
        platform::functionSlot("ksOpenNOX", openNOX),
        platform::functionSlot("ksGetQueryPointsd", getQueryPointsd)};

    platform::BindResult result = platform::bindLibrary(KS_INCOMPLETE_LYRANT_PATH, slots);
    EXPECT_EQ(result.outcome, BindOutcome::FunctionMissing);
    EXPECT_EQ(openNOX, nullptr) << "the function found before the missing one is dropped again";
    EXPECT_EQ(loadedViewer(), "") << "the library is closed again";

    result = platform::bindLibrary(KS_SCRIPTED_LYRANT_PATH, slots);
    EXPECT_TRUE(result.bound());
    EXPECT_EQ(result.reason, "");
    EXPECT_NE(openNOX, nullptr);
    EXPECT_NE(getQueryPointsd, nullptr);
    EXPECT_EQ(loadedViewer(), KS_SCRIPTED_LYRANT_PATH) << "a bound library stays loaded";
}

TEST(LibraryBindingInFreshProcess, WriterAndViewerNameTheLibraryAndWhatItLacksAlike) {
    EXPECT_FALSE(loadWriterLibrary(KS_BROKEN_WRITER_PATH));
    EXPECT_EQ(writerLibrary().loadError(), KS_BROKEN_WRITER_PATH ": lacks ksioSetMetaTagW");
    NOXHandler viewer;
    ASSERT_EQ(viewer.bindLyrant(kIncomplete.c_str()), BindOutcome::FunctionMissing);
    EXPECT_EQ(viewer.lyrant().loadError(), KS_INCOMPLETE_LYRANT_PATH ": lacks ksGetQueryPointsd");

    // A library that does not load is named first as well, followed by the loader's reason.
    EXPECT_FALSE(loadWriterLibrary("libNoSuchWriterLibrary.so"));
    EXPECT_EQ(writerLibrary().loadError().rfind("libNoSuchWriterLibrary.so: ", 0), 0u)
        << writerLibrary().loadError();
    ASSERT_EQ(viewer.bindLyrant(kNowhere), BindOutcome::NotLoaded);
    EXPECT_EQ(viewer.lyrant().loadError().rfind("/nonexistent/libKestrionLyrantAPI.so: ", 0), 0u)
        << viewer.lyrant().loadError();
    EXPECT_FALSE(viewer.lyrant().bound);
}

TEST(LyrantBindingInFreshProcess, IncompleteLibraryIsNeverUsedAndImportBindsAnew) {
    ASSERT_TRUE(ks_test::bindRecordingWriter());
    // The default location is beside this test program, where no viewer lies.
    ASSERT_FALSE(std::filesystem::exists(defaultLyrantPath())) << defaultLyrantPath();
    EXPECT_EQ(LoadLyrantAPI(kIncomplete.c_str()), ResultFailed);

    ImportBatch batch(KS_WIDE("tests"));
    ks_test::RecordingFeedback feedback;
    batch.setFeedbackObject(&feedback);
    ScanInfo scan;
    scan.setFilename(KS_WIDE("/data/site.nox"));
    FileTypeHandler& handler = theNOXHandler();
    ks_test::resetWriterCalls();
    EXPECT_FALSE(handler.import(&batch, &scan));
    ASSERT_EQ(feedback.errors.size(), 1u);
    EXPECT_EQ(feedback.errors[0].result, ResultFailed);
    EXPECT_EQ(feedback.errors[0].phase, PhaseSetup);
    EXPECT_EQ(ks_test::writerCalls(), "");
    EXPECT_TRUE(feedback.progress.empty());

    // Once a complete library is at hand the same handler binds it and reads.
    EXPECT_EQ(LoadLyrantAPI(kScripted.c_str()), ResultSuccess);
    ks_test::setLyrantScene(2, 2, 0);
    EXPECT_TRUE(handler.import(&batch, &scan));
    EXPECT_EQ(ks_test::writerCallsStartingWith({"ksioAddPoint"}).size(), 2u);
}

TEST(LyrantBindingInFreshProcess, AlreadyLoadedLibraryIsTakenAndThePathIgnored) {
    void* preloaded = ks_test::loadLibrary(KS_SCRIPTED_LYRANT_PATH);
    ASSERT_NE(preloaded, nullptr);
    EXPECT_EQ(LoadLyrantAPI(kNowhere), ResultSuccess);
    EXPECT_EQ(reinterpret_cast<void*>(theNOXHandler().lyrant().sceneInfo),
              ks_test::librarySymbol(preloaded, "ksSceneInfo"));

    NOXHandler other;
    EXPECT_EQ(other.bindLyrant(kIncomplete.c_str()), BindOutcome::Bound)
        << "the loaded complete copy wins over a given path";
    EXPECT_EQ(reinterpret_cast<void*>(other.lyrant().getQueryPointsd),
              ks_test::librarySymbol(preloaded, "ksGetQueryPointsd"));
    ks_test::closeLibrary(preloaded);
}

TEST(LyrantBindingInFreshProcess, InitializeLeavesTheNoxHandlerOutOfTheRegistry) {
    ASSERT_EQ(ks_test::initializeOnce(), ResultSuccess);
    ASSERT_EQ(LoadLyrantAPI(kScripted.c_str()), ResultSuccess);
    EXPECT_EQ(findHandlerForName(KS_WIDE("/in/site.nox")), nullptr);
    EXPECT_EQ(findHandlerForName(KS_WIDE("/in/site.NOX")), nullptr);
    for (unsigned i = 0; i < handlerCount(); ++i) EXPECT_NE(handlerAt(i), &theNOXHandler());
}

}  // namespace
