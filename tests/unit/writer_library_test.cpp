#include "writer/writer_library.h"

#include <gtest/gtest.h>

#include "ks_formats/import_batch.h"
#include "support/recording_writer_client.h"

using namespace ks_formats;

namespace {

TEST(WriterLibraryBinding, FindsTheLibraryByBareNameAndBindsEveryFunction) {
    ASSERT_TRUE(ks_test::bindRecordingWriter()) << writerLibrary().loadError();
    const WriterLibrary& writer = writerLibrary();
    EXPECT_TRUE(writer.bound);
    const void* functions[] = {
        reinterpret_cast<const void*>(writer.startStream),
        reinterpret_cast<const void*>(writer.endStream),
        reinterpret_cast<const void*>(writer.discardStream),
        reinterpret_cast<const void*>(writer.addGroup),
        reinterpret_cast<const void*>(writer.addCloud),
        reinterpret_cast<const void*>(writer.addPoint),
        reinterpret_cast<const void*>(writer.addNullPoint),
        reinterpret_cast<const void*>(writer.setCompressionTolerance),
        reinterpret_cast<const void*>(writer.setNormalQuality),
        reinterpret_cast<const void*>(writer.buildNOXFile),
        reinterpret_cast<const void*>(writer.setProgressCallback),
        reinterpret_cast<const void*>(writer.getLastError),
        reinterpret_cast<const void*>(writer.spatialFiltering),
        reinterpret_cast<const void*>(writer.setUserMetaTag),
        reinterpret_cast<const void*>(writer.setMetaTag),
    };
    for (const void* f : functions) EXPECT_NE(f, nullptr);

    // The bound functions are the recording library's own.
    writer.addGroup(5, KS_WIDE("Group"));
    EXPECT_EQ(ks_test::writerCalls(), "ksioAddGroupW(5,Group)\n");
}

TEST(WriterLibraryBinding, AMissingFunctionLeavesTheWriterUnboundAndNamesIt) {
    ASSERT_TRUE(ks_test::bindRecordingWriter());
    const ks_test::RebindWriterAtEnd rebind;
    EXPECT_FALSE(loadWriterLibrary(KS_BROKEN_WRITER_PATH));
    EXPECT_FALSE(writerLibrary().bound);
    EXPECT_EQ(writerLibrary().setMetaTag, nullptr);
    EXPECT_EQ(writerLibrary().startStream, nullptr) << "nothing stays half bound";
    EXPECT_NE(writerLibrary().loadError().find("ksioSetMetaTagW"), std::string::npos)
        << writerLibrary().loadError();
}

TEST(WriterLibraryBinding, AMissingLibraryLeavesTheWriterUnbound) {
    const ks_test::RebindWriterAtEnd rebind;
    EXPECT_FALSE(loadWriterLibrary("libNoSuchWriterLibrary.so"));
    EXPECT_FALSE(writerLibrary().bound);
    EXPECT_FALSE(writerLibrary().loadError().empty());
}

TEST(WriterLibraryBinding, BatchConstructorHandsTheCreatorTagToTheWriter) {
    ASSERT_TRUE(ks_test::bindRecordingWriter());
    { ImportBatch batch(KS_WIDE("Survey Tool \u00e9")); }
    { ImportBatch batch(nullptr); }
    EXPECT_EQ(ks_test::writerCalls(),
              "ksioSetMetaTagW(Audit.CreatorApp=Survey Tool \\u00e9)\n"
              "ksioSetMetaTagW(Audit.CreatorApp=)\n");

    ks_test::resetWriterCalls();
    ImportBatch source(KS_WIDE("x"));
    ks_test::resetWriterCalls();
    ImportBatch copy(source);
    copy = source;
    EXPECT_EQ(ks_test::writerCalls(), "") << "copies set no tag";
}

TEST(WriterLibraryBinding, BatchBeforeTheWriterIsBoundIsUsable) {
    ImportBatch batch(KS_WIDE("early"));
    batch.addImportFile(KS_WIDE("/a.rxp"));
    EXPECT_EQ(batch.numImportFiles(), 1);
}

}  // namespace
