// The Windows side of the host tools' platform layer (tools/platform): the wide command line as
// UTF-8 arguments, files by UTF-8 name, and the console checks. Links ks_tools_platform.
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ks_tools/console.h"
#include "ks_tools/files.h"
#include "ks_tools/utf8_path.h"
#include "ks_tools/windows_command_line.h"

namespace {

namespace fs = std::filesystem;
using Arguments = std::vector<std::string>;
using ks_tools::splitCommandLine;

// "café", "日本" and U+1F600 (a surrogate pair in UTF-16) in UTF-8.
const std::string kCafe = "caf\xC3\xA9";
const std::string kJapan = "\xE6\x97\xA5\xE6\x9C\xAC";
const std::string kSmile = "\xF0\x9F\x98\x80";

TEST(ToolsCommandLine, SplitsQuotedArgumentsAsTheSystemDoes) {
    EXPECT_EQ(splitCommandLine(L"noxconvert.exe convert a.rxp -o out.nox"),
              (Arguments{"noxconvert.exe", "convert", "a.rxp", "-o", "out.nox"}));
    // Quotes group words and go; an empty pair is an empty argument.
    EXPECT_EQ(splitCommandLine(L"\"C:\\Program Files\\noxconvert.exe\" \"my scans\\*.rxp\" \"\""),
              (Arguments{"C:\\Program Files\\noxconvert.exe", "my scans\\*.rxp", ""}));
    // Backslashes are plain except before a quote: 2n+1 of them there give n and a literal quote.
    EXPECT_EQ(splitCommandLine(L"x.exe C:\\data\\ \"say \\\"hi\\\"\" end\\\\\\\"q"),
              (Arguments{"x.exe", "C:\\data\\", "say \"hi\"", "end\\\"q"}));
}

TEST(ToolsCommandLine, KeepsCharactersOutsideTheAnsiCodePageAsUtf8) {
    const Arguments arguments = splitCommandLine(
        L"noxconvert.exe info \"D:\\Sc\u00e4ns\\caf\u00e9 \u65e5\u672c.nox\" "
        L"\U0001F600.nox");
    ASSERT_EQ(arguments.size(), 4u);
    EXPECT_EQ(arguments[2], "D:\\Sc\xC3\xA4ns\\" + kCafe + " " + kJapan + ".nox");
    EXPECT_EQ(arguments[3], kSmile + ".nox");
}

TEST(ToolsPaths, Utf8NamesBecomeTheSameWidePath) {
    const fs::path path = ks_tools::pathFromUtf8("C:\\" + kCafe + "\\" + kJapan + kSmile + ".nox");
    EXPECT_EQ(path.native(), L"C:\\caf\u00e9\\\u65e5\u672c\U0001F600.nox");
    EXPECT_EQ(ks_tools::utf8FromPath(path.filename()), kJapan + kSmile + ".nox");
    EXPECT_EQ(ks_tools::utf8FromPath(path.parent_path()), "C:\\" + kCafe);
}

class ToolsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  (L"ks_tools_test_" + std::to_wstring(GetCurrentProcessId()) + L"_\u65e5\u672c");
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    std::string utf8Name(const std::string& name) const {
        return ks_tools::utf8FromPath(folder_ / ks_tools::pathFromUtf8(name));
    }

    static std::string contentOf(const std::string& utf8Path) {
        std::FILE* file = _wfopen(ks_tools::pathFromUtf8(utf8Path).c_str(), L"rb");
        if (!file) return "(missing)";
        std::string text;
        char buffer[256];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            text.append(buffer, got);
        std::fclose(file);
        return text;
    }

    static bool write(const std::string& utf8Path, const std::string& text) {
        std::FILE* file = ks_tools::openForWriting(utf8Path);
        if (!file) return false;
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        return std::fclose(file) == 0 && written;
    }

    fs::path folder_;
};

TEST_F(ToolsFiles, WritesAndReplacesFilesWithNamesOutsideTheAnsiCodePage) {
    const std::string target = utf8Name(kCafe + " " + kSmile + ".ply");
    const std::string temporary = target + ".part1";
    ASSERT_TRUE(write(target, "old"));
    ASSERT_TRUE(write(temporary, "new content"));
    // The file is found under its wide name, not under a name mangled by the code page.
    EXPECT_TRUE(fs::exists(folder_ / (L"caf\u00e9 \U0001F600.ply")));

    // rename() would refuse the existing target on Windows.
    ASSERT_TRUE(ks_tools::replaceFile(temporary, target));
    EXPECT_EQ(contentOf(target), "new content");
    EXPECT_FALSE(fs::exists(ks_tools::pathFromUtf8(temporary)));
}

TEST_F(ToolsFiles, ReportsFailuresThroughErrno) {
    errno = 0;
    EXPECT_FALSE(ks_tools::replaceFile(utf8Name("missing.part"), utf8Name("target.ply")));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(ks_tools::openForWriting(utf8Name("no such folder\\x.ply")), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

TEST(ToolsLibraryNames, NarrowNamesOnlyWhenTheCodePageSpellsThem) {
    EXPECT_EQ(ks_tools::libraryNarrowName("C:\\scans\\a.txt"), "C:\\scans\\a.txt");
    if (GetACP() != 1252) GTEST_SKIP() << "the checks below assume Windows-1252, not " << GetACP();
    EXPECT_EQ(ks_tools::libraryNarrowName("C:\\" + kCafe + ".txt"), "C:\\caf\xE9.txt");
    EXPECT_EQ(ks_tools::libraryNarrowName("C:\\" + kJapan + ".txt"), std::nullopt);
    // No best-fit stand-ins: a character the page lacks is not replaced by a look-alike.
    EXPECT_EQ(ks_tools::libraryNarrowName("C:\\\xE2\x88\x92.txt"), std::nullopt);  // U+2212
}

TEST_F(ToolsFiles, AFileIsNoLiveConsole) {
    std::FILE* file = ks_tools::openForWriting(utf8Name("console.txt"));
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(ks_tools::isLiveConsole(file));
    EXPECT_EQ(ks_tools::consoleColumns(file), 80);
    std::fclose(file);
}

}  // namespace
