#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "ks_common/text_encoding.h"
#include "ks_formats/import_batch.h"
#include "platform/dynamic_library.h"

using ks_common::fromUtf8;
using ks_common::toUtf8;
using ks_formats::ImportBatch;

TEST(ExportedFiles, ListInWideAndNarrowForm) {
    ImportBatch batch(KS_WIDE("test"));
    EXPECT_EQ(batch.numExportedFiles(), 0);
    EXPECT_EQ(batch.getExportedFilenameW(0), nullptr);
    EXPECT_EQ(batch.getExportedFilenameA(0), nullptr);

    batch._addExportedFile(KS_WIDE("/out/a.nox"));
    batch._addExportedFile(KS_WIDE("/out/\u00E9\u4E2D\U0001F600.nox"));
    batch._addExportedFile(nullptr);
    const ks_formats::WideChar lone[] = {KS_WIDE('/'), 0xD800, KS_WIDE('x'), 0};
    batch._addExportedFile(lone);

    ASSERT_EQ(batch.numExportedFiles(), 4);
    EXPECT_EQ(ks_formats::WideString(batch.getExportedFilenameW(0)), KS_WIDE("/out/a.nox"));
    EXPECT_EQ(ks_formats::WideString(batch.getExportedFilenameW(1)),
              KS_WIDE("/out/\u00E9\u4E2D\U0001F600.nox"));
    EXPECT_EQ(ks_formats::WideString(batch.getExportedFilenameW(2)), KS_WIDE(""));
    EXPECT_STREQ(batch.getExportedFilenameA(0), "/out/a.nox");
    EXPECT_STREQ(batch.getExportedFilenameA(1), "/out/\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80.nox");
    EXPECT_STREQ(batch.getExportedFilenameA(2), "");
    EXPECT_STREQ(batch.getExportedFilenameA(3), "/?x");

    for (const int index : {-1, 4, 1 << 30}) {
        EXPECT_EQ(batch.getExportedFilenameW(index), nullptr) << index;
        EXPECT_EQ(batch.getExportedFilenameA(index), nullptr) << index;
    }
}

TEST(ExportedFiles, NarrowFormIsOneSharedBuffer) {
    ImportBatch first(KS_WIDE("test"));
    ImportBatch second(KS_WIDE("test"));
    first._addExportedFile(KS_WIDE("/out/first.nox"));
    second._addExportedFile(KS_WIDE("/out/2.nox"));
    const char* a = first.getExportedFilenameA(0);
    const char* b = second.getExportedFilenameA(0);
    EXPECT_EQ(a, b);
    EXPECT_STREQ(a, "/out/2.nox");
}

TEST(ExportedFiles, LongNarrowNamesAreCutBetweenCharacters) {
    // The narrow buffer holds 259 bytes of text; longer UTF-8 is cut at the last whole character.
    const struct {
        std::string name;
        size_t expectedBytes;
    } cases[] = {
        {std::string(259, 'a'), 259},
        {std::string(260, 'a'), 259},
        {std::string(2000, 'a'), 259},
        {std::string(257, 'a') + "\xC3\xA9", 259},          // é ends exactly at 259
        {std::string(258, 'a') + "\xC3\xA9", 258},          // é would straddle the end
        {std::string(257, 'a') + "\xE4\xB8\xAD", 257},      // 中 would straddle the end
        {std::string(256, 'a') + "\xF0\x9F\x98\x80", 256},  // a surrogate pair's 4 bytes
        {std::string(255, 'a') + "\xF0\x9F\x98\x80", 259},
    };
    for (const auto& c : cases) {
        ImportBatch batch(KS_WIDE("test"));
        batch._addExportedFile(fromUtf8(c.name.c_str()).c_str());
        const char* narrow = batch.getExportedFilenameA(0);
        ASSERT_NE(narrow, nullptr);
        EXPECT_EQ(std::string(narrow), c.name.substr(0, c.expectedBytes)) << c.name.size();
        // The wide form keeps the whole name.
        EXPECT_EQ(toUtf8(batch.getExportedFilenameW(0)), c.name);
    }
}

TEST(FormatsFolder, SetAppendsASeparatorAndIgnoresWhatCannotFit) {
    const ks_formats::WideString fill510(510, KS_WIDE('f'));
    const struct {
        ks_formats::WideString folder;
        ks_formats::WideString stored;
    } cases[] = {
        {KS_WIDE("/ext"), KS_WIDE("/ext/")},
        {KS_WIDE("/ext/"), KS_WIDE("/ext/")},
        {KS_WIDE(""), KS_WIDE("/")},
        {fill510, fill510 + KS_WIDE("/")},
        {fill510 + KS_WIDE("/"), fill510 + KS_WIDE("/")},
        {fill510 + KS_WIDE("f"), KS_WIDE("/before/")},   // 511 units without a final "/"
        {fill510 + KS_WIDE("ff"), KS_WIDE("/before/")},  // 512 units
        {ks_formats::WideString(3000, KS_WIDE('f')), KS_WIDE("/before/")},
    };
    for (const auto& c : cases) {
        ImportBatch batch(KS_WIDE("test"));
        batch.set32BitNoxFormatsFolder(KS_WIDE("/before"));
        batch.set32BitNoxFormatsFolder(c.folder.c_str());
        const ks_formats::WideChar* stored = batch.get32BitNoxFormatsFolder();
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(ks_formats::WideString(stored), c.stored) << c.folder.size();
    }
    ImportBatch batch(KS_WIDE("test"));
    batch.set32BitNoxFormatsFolder(KS_WIDE("/kept"));
    batch.set32BitNoxFormatsFolder(nullptr);
    EXPECT_EQ(ks_formats::WideString(batch.get32BitNoxFormatsFolder()), KS_WIDE("/kept/"));
}

TEST(FormatsFolder, DerivedFromTheLoadedCompanionLibrary) {
    ImportBatch batch(KS_WIDE("test"));
    EXPECT_EQ(batch.get32BitNoxFormatsFolder(), nullptr);  // not loaded: nothing to derive

    auto library = ks_formats::platform::DynamicLibrary::load(KS_FAKE_NOXFORMATS_PATH);
    ASSERT_TRUE(library.isLoaded());
    const std::string folder =
        std::filesystem::path(KS_FAKE_NOXFORMATS_PATH).parent_path().string() + "/noxformats32/";
    const ks_formats::WideChar* derived = batch.get32BitNoxFormatsFolder();
    ASSERT_NE(derived, nullptr);
    EXPECT_EQ(toUtf8(derived), folder);

    // A folder the host set wins, and a derived folder stays once it is set.
    ImportBatch hostSet(KS_WIDE("test"));
    hostSet.set32BitNoxFormatsFolder(KS_WIDE("/mine"));
    EXPECT_EQ(toUtf8(hostSet.get32BitNoxFormatsFolder()), "/mine/");
    library = {};
    EXPECT_EQ(toUtf8(batch.get32BitNoxFormatsFolder()), folder);
}
