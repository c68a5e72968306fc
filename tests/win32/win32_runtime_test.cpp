// What the 32-bit Windows build relies on from its toolchain and runtime, checked where the
// programs run: under Wine (or Windows).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(Win32Target, IsThirtyTwoBitWindowsWithUtf16WideCharacters) {
    EXPECT_EQ(sizeof(void*), 4u);
    EXPECT_EQ(sizeof(wchar_t), 2u);
    EXPECT_EQ(sizeof(long), 4u);
    // Wine runs a 32-bit program as it would run on 64-bit Windows, under WOW64 or not: either
    // way the process sees a 32-bit address space.
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    EXPECT_LE(reinterpret_cast<std::uintptr_t>(info.lpMaximumApplicationAddress), 0xFFFFFFFFu);
}

TEST(Win32Runtime, NoMinGwRuntimeDllIsLoaded) {
    // The runtime is linked in statically; had it been linked as DLLs, they would be in the
    // process even when found by chance on the search path.
    for (const wchar_t* name : {L"libstdc++-6.dll", L"libgcc_s_dw2-1.dll", L"libgcc_s_sjlj-1.dll",
                                L"libwinpthread-1.dll"}) {
        EXPECT_EQ(GetModuleHandleW(name), nullptr) << "loaded: " << std::filesystem::path(name);
    }
    EXPECT_NE(GetModuleHandleW(L"kernel32.dll"), nullptr);
}

TEST(Win32Runtime, StdThreadRunsOnItsOwnThreadAndJoins) {
    const DWORD mainThread = GetCurrentThreadId();
    DWORD workerThread = mainThread;
    std::uint64_t sum = 0;
    std::thread worker([&] {
        workerThread = GetCurrentThreadId();
        for (std::uint64_t i = 1; i <= 100000; ++i) sum += i;
    });
    worker.join();
    EXPECT_NE(workerThread, mainThread);
    EXPECT_EQ(sum, 100000ull * 100001ull / 2);
}

TEST(Win32Runtime, ThreadsHandOverThroughMutexAndConditionVariable) {
    std::mutex mutex;
    std::condition_variable changed;
    int turn = 0;  // 0: main, 1: worker; each side passes the turn 1000 times
    std::atomic<int> passes{0};
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return turn == 1; });
            turn = 0;
            ++passes;
            changed.notify_one();
        }
    });
    for (int i = 0; i < 1000; ++i) {
        std::unique_lock lock(mutex);
        turn = 1;
        changed.notify_one();
        changed.wait(lock, [&] { return turn == 0; });
    }
    worker.join();
    EXPECT_EQ(passes.load(), 1000);
}

TEST(Win32Runtime, WideFileNamesRoundTripThroughTheStandardLibrary) {
    // Non-ASCII names are UTF-16 on Windows; std::filesystem::path and std::fstream must use the
    // wide-character file functions for this name to come back as written.
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("ks-win32-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path file =
        folder / std::filesystem::path(L"Mess\u00fcng_\u6e2c\u91cf.bin");
    const std::vector<char> bytes{'N', 'O', 'X', '\0', '\r', '\n', '\x7f'};
    {
        std::ofstream out(file, std::ios::binary);
        ASSERT_TRUE(out) << "cannot create " << file;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().wstring());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], L"Mess\u00fcng_\u6e2c\u91cf.bin");
    EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);

    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in);
    std::vector<char> back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(back, bytes);  // binary mode: no CR/LF translation
    in.close();
    std::filesystem::remove_all(folder);
}

}  // namespace
