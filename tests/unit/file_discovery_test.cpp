#include "batch/file_discovery.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ks_common/text_encoding.h"
#include "ks_formats/import_batch.h"
#include "support/scratch_folder.h"

namespace fs = std::filesystem;
using ks_common::fromUtf8;
using ks_common::toUtf8;
using ks_formats::ImportBatch;
using ks_formats::ScanInfo;

namespace {

// (name, included) of every import file, in list order.
using Listed = std::vector<std::pair<std::string, bool>>;

Listed listed(const ImportBatch& batch) {
    Listed out;
    for (int i = 0; i < batch.numImportFiles(); ++i)
        out.emplace_back(toUtf8(batch.getImportFilename(i)), batch.getIncludeFile(i));
    return out;
}

void touch(const fs::path& path) { std::ofstream(path) << "x"; }

// A tree with files of several extensions and cases, dot-names, a folder that matches a file
// pattern, and a link back to the top that a walk must not follow.
class DiscoveryTree : public testing::Test {
protected:
    void SetUp() override {
        root = ks_test::scratchFolder();
        fs::create_directories(root / "sub" / "deeper");
        fs::create_directories(root / ".dotdir");
        fs::create_directories(root / "dir.rxp");
        for (const char* name : {"a.rxp", "B.rxp", "c.RXP", "d.rdbx", "e.RDBX", ".hidden.rdbx",
                                 "rdbx", "ends.", "x.rdbxx", "sub/f.rdbx", "sub/g.rxp",
                                 "sub/deeper/h.rdbx", ".dotdir/i.rdbx", "dir.rxp/j.rdbx"})
            touch(root / name);
        fs::create_directory_symlink(root, root / "loop");
    }

    std::string at(const char* relative) const { return (root / relative).string(); }

    Listed extract(const std::string& searchPath, bool recursive) {
        ImportBatch batch(KS_WIDE("test"));
        batch.useRecursiveSearch(recursive);
        batch.addSearchPath(searchPath.c_str());
        batch.extractFilePaths();
        return listed(batch);
    }

    fs::path root;
};

}  // namespace

TEST_F(DiscoveryTree, PatternAddsEveryMatchIncludedWithoutDescending) {
    const Listed expected = {{at("B.rxp"), true}, {at("a.rxp"), true}, {at("dir.rxp"), true}};
    EXPECT_EQ(extract(at("*.rxp"), false), expected);
    // A three-character extension takes the pattern branch even with recursion on.
    EXPECT_EQ(extract(at("*.rxp"), true), expected);
    // No filter at all: dot-names match a pattern like any other name.
    EXPECT_EQ(extract(at("*.rdbx"), false),
              (Listed{{at(".hidden.rdbx"), true}, {at("d.rdbx"), true}}));
    EXPECT_EQ(extract(at("a.rxp"), true), (Listed{{at("a.rxp"), true}}));
    EXPECT_EQ(extract(at(".h*"), false), (Listed{{at(".hidden.rdbx"), true}}));
}

TEST_F(DiscoveryTree, RecursiveWalkTakesExactExtensionsAndSkipsDotNames) {
    // The walk starts at the search path's folder; a name without a dot counts as all
    // extension, and the link back to the top is not followed.
    const Listed expected = {{at("d.rdbx"), false},
                             {at("dir.rxp/j.rdbx"), false},
                             {at("rdbx"), false},
                             {at("sub/deeper/h.rdbx"), false},
                             {at("sub/f.rdbx"), false}};
    EXPECT_EQ(extract(at("*.rdbx"), true), expected);
    EXPECT_EQ(extract(at("anything.rdbx"), true), expected);
    // Without an extension only names ending in "." match.
    EXPECT_EQ(extract(at("scans"), true), (Listed{{at("ends."), false}}));
}

TEST_F(DiscoveryTree, WalkWithoutRecursionStaysInItsFolder) {
    std::vector<ScanInfo> list;
    EXPECT_EQ(ks_formats::collectFilesInTree(list, fromUtf8(root.c_str()), KS_WIDE("rdbx"), false),
              0);
    ASSERT_EQ(list.size(), 2u);
    std::vector<std::string> names = {toUtf8(list[0].getFilename()), toUtf8(list[1].getFilename())};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{at("d.rdbx"), at("rdbx")}));
}

TEST_F(DiscoveryTree, SearchPathWithoutSeparatorJoinsBelowTheRoot) {
    const fs::path previous = fs::current_path();
    fs::current_path(root);
    const Listed found = extract("*.rxp", false);
    fs::current_path(previous);
    EXPECT_EQ(found, (Listed{{"/B.rxp", true}, {"/a.rxp", true}, {"/dir.rxp", true}}));
}

TEST_F(DiscoveryTree, SearchPathsAreExpandedOnce) {
    ImportBatch batch(KS_WIDE("test"));
    batch.addSearchPath(at("*.rxp").c_str());
    EXPECT_EQ(batch.extractFilePaths(), 3);
    batch.addSearchPath(at("sub/*.rxp").c_str());
    EXPECT_EQ(batch.extractFilePaths(), 3);

    ImportBatch copy(batch);
    EXPECT_EQ(copy.extractFilePaths(), 3);

    batch.removeImportFiles();
    EXPECT_EQ(batch.extractFilePaths(), 0);
}

TEST_F(DiscoveryTree, PathsThatFindNothing) {
    const std::string longName(600, 'n');
    const std::string deepFile = at("a.rxp") + "/*.rdbx";  // a file where a folder should be
    for (const bool recursive : {false, true}) {
        EXPECT_EQ(extract(at("missing/*.rdbx"), recursive), Listed{}) << recursive;
        EXPECT_EQ(extract(deepFile, recursive), Listed{}) << recursive;
        EXPECT_EQ(extract(at(longName.c_str()) + "/x.rdbx", recursive), Listed{}) << recursive;
        EXPECT_EQ(extract(at(longName.c_str()) + "/scans", recursive), Listed{}) << recursive;
    }
    ImportBatch batch(KS_WIDE("test"));
    batch.addSearchPath(static_cast<const char*>(nullptr));
    EXPECT_EQ(batch.extractFilePaths(), 0);
}

TEST_F(DiscoveryTree, WalksFoldersDeeperThanAShortPathBuffer) {
    fs::path deep = root / "long";
    for (int i = 0; i < 6; ++i) deep /= std::string(60, static_cast<char>('a' + i));
    fs::create_directories(deep);
    touch(deep / "far.rdbx");
    ASSERT_GT(deep.string().size(), 400u);
    const std::string found = (deep / "far.rdbx").string();
    EXPECT_EQ(extract((root / "long" / "*.rdbx").string(), true), (Listed{{found, false}}));
    EXPECT_EQ(extract((deep / "*.rdbx").string(), false), (Listed{{found, true}}));
}

TEST(ImportFileOrder, SortedByCodeUnitFirstDuplicateKept) {
    ImportBatch batch(KS_WIDE("test"));
    batch.addImportFile("/s/B.rxp");
    batch.addImportFile("/s/a.rxp");
    batch.addImportFile("/s/B.rxp");
    batch.addImportFile("/Scans/a.rxp");
    batch.addImportFile("/scans/a.rxp");
    batch.addImportFile(KS_WIDE("/s/\uFF5E"));
    batch.addImportFile(
        KS_WIDE("/s/\U0001F600"));  // a surrogate pair sorts below U+FF5E by code unit
    batch.setIncludeFile(0, false);
    auto* first = static_cast<ScanInfo*>(batch._getScanInfo(0));
    ks_formats::Matrix4d placed = ks_formats::Matrix4d::identity();
    placed(0, 3) = 12.5;
    first->setMatrix(placed);

    EXPECT_EQ(batch.extractFilePaths(), 6);
    const Listed expected = {{"/Scans/a.rxp", true},
                             {"/s/B.rxp", false},
                             {"/s/a.rxp", true},
                             {toUtf8(KS_WIDE("/s/\U0001F600")), true},
                             {toUtf8(KS_WIDE("/s/\uFF5E")), true},
                             {"/scans/a.rxp", true}};
    EXPECT_EQ(listed(batch), expected);
    EXPECT_EQ(*static_cast<ScanInfo*>(batch._getScanInfo(1))->getMatrix(), placed);
}

namespace {

// A folder listing scripted per folder: its entries, whether it opens, and how it ends.
struct ScriptedFolder {
    std::vector<ks_formats::platform::DirectoryEntry> entries;
    bool opens = true;
    int error = 0;
};

std::vector<std::string> walkScripted(const std::map<std::string, ScriptedFolder>& folders,
                                      int& result) {
    std::vector<ScanInfo> list;
    result = ks_formats::collectFilesInTree(
        list, KS_WIDE("/t"), KS_WIDE("x"), true,
        [&](const std::string& folder, std::vector<ks_formats::platform::DirectoryEntry>& entries,
            bool& opened) {
            const auto it = folders.find(folder);
            opened = it != folders.end() && it->second.opens;
            if (!opened) return ENOENT;
            entries = it->second.entries;
            return it->second.error;
        });
    std::vector<std::string> names;
    for (const ScanInfo& info : list) names.push_back(toUtf8(info.getFilename()));
    return names;
}

}  // namespace

TEST(CollectFilesInTree, ListingErrorEndsTheWalkAboveItAndKeepsWhatWasFound) {
    std::map<std::string, ScriptedFolder> folders = {
        {"/t", {{{"a.x", false}, {"broken", true}, {"b.x", false}}, true, 0}},
        {"/t/broken", {{{"c.x", false}, {"d.x", false}}, true, EIO}},
    };
    int result = 0;
    EXPECT_EQ(walkScripted(folders, result),
              (std::vector<std::string>{"/t/a.x", "/t/broken/c.x", "/t/broken/d.x"}));
    EXPECT_EQ(result, EIO);

    // A folder that cannot be opened adds nothing and the walk goes on.
    folders["/t/broken"].opens = false;
    EXPECT_EQ(walkScripted(folders, result), (std::vector<std::string>{"/t/a.x", "/t/b.x"}));
    EXPECT_EQ(result, 0);

    // An error in the top folder's own listing comes after the entries it delivered.
    folders["/t"].error = EACCES;
    EXPECT_EQ(walkScripted(folders, result), (std::vector<std::string>{"/t/a.x", "/t/b.x"}));
    EXPECT_EQ(result, EACCES);
}
