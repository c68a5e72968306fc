// End-to-end conversion benchmark: converts a project of point-database scans, point streams
// and grid scans through ConvertBatchToNOX into the real writer, in every batch mode, and sets
// each input kind beside what the machine does at best with the same files: reading them
// (cat to /dev/null) and compressing them (zstd -1 -T1).
//
//   end_to_end_bench [--dir FOLDER] [--points N] [--runs R] [--modes 3,2,1] [--flatness] [--cold]
//   end_to_end_bench --project FILE.rsp [--input FILE]... [--runs R] [--modes ...] [--cold]
//
// Every conversion and reference runs in its own child process; figures are medians over the
// runs, peak memory is the child's ru_maxrss. Each conversion runs twice per run: with
// KS_NOX_THREADS=1 (the writer adds no thread) and with the variable unset (the writer's default,
// a thread per core); the speed-up is the ratio of the two. One more conversion per kind, in the
// first mode asked for, writes version-1 files (KS_NOX_FORMAT_VERSION=1) for their bytes per
// point; every other run has that variable unset, so writes the default version. The input files
// are read from the page cache (warm), or with --cold from the disk: before every conversion and
// every reference their pages are dropped from the cache.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "conversion_run.h"
#include "index_codec.h"
#include "page_cache.h"
#include "sample_project.h"

namespace fs = std::filesystem;
using namespace end_to_end;
using bench::EnvironmentChange;
using bench::evictFromPageCache;
using bench::runChild;

namespace {

// The writer's settings for a conversion, from the environment of its child process.
const std::vector<EnvironmentChange> kOneThread = {{"KS_NOX_THREADS", "1"},
                                                   {"KS_NOX_FORMAT_VERSION", std::nullopt}};
const std::vector<EnvironmentChange> kDefaultThreads = {{"KS_NOX_THREADS", std::nullopt},
                                                        {"KS_NOX_FORMAT_VERSION", std::nullopt}};
const std::vector<EnvironmentChange> kVersion1 = {{"KS_NOX_THREADS", std::nullopt},
                                                  {"KS_NOX_FORMAT_VERSION", "1"}};

struct Options {
    fs::path dir = "build/bench/e2e_project";
    uint64_t points = 50000000;
    int runs = 3;
    std::vector<int> modes = {3, 2, 1};
    bool flatness = false;
    bool cold = false;
    fs::path project;
    std::vector<fs::path> extraInputs;
};

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// The files a reference reads for one import file: a point-database scan is its two data files
// in the project's database folder, any other input is the file itself.
std::vector<fs::path> dataFiles(const fs::path& importFile) {
    std::string name = importFile.string();
    if (inputKind(importFile) != "rdb") return {importFile};
    const size_t scans = name.find("SCANS");
    if (scans == std::string::npos) return {};
    name.insert(scans, "project.rdb/");
    const fs::path folder = name.substr(0, name.size() - 4);
    std::vector<fs::path> files;
    for (const char* file : {"P3D.rds", "P3D-RGB.rds"})
        if (fs::exists(folder / file)) files.push_back(folder / file);
    return files;
}

uint64_t pointsInNoxFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    uint8_t bytes[nox::kHeaderSize];
    if (!in.read(reinterpret_cast<char*>(bytes), sizeof bytes)) return 0;
    nox::FileHeader header;
    std::string reason;
    return nox::decodeHeader(bytes, sizeof bytes, header, reason) ? header.totalPoints : 0;
}

// The read buffers one import file takes while it is converted, as the handlers size them:
// a point-database scan reads both data files through buffers of at most 50 MiB each, a point
// stream reads through two arrays of up to 10,485,760 records (28 bytes a point together), a
// grid scan is fetched whole (28 bytes a cell with intensity and colour, about its file size).
double readBufferMiB(const fs::path& importFile) {
    const std::string kind = inputKind(importFile);
    double bytes = 0;
    for (const fs::path& file : dataFiles(importFile)) {
        const double size = static_cast<double>(fs::file_size(file));
        if (kind == "rdb")
            bytes += std::min(size, 52428800.0);
        else if (kind == "rxp")
            bytes += std::min(size, 10485760.0 * 28);
        else
            bytes += size;
    }
    return bytes / 1048576.0;
}

// Files are converted one after another, so the largest buffers of any one file count.
double readBufferMiB(const std::vector<fs::path>& importFiles) {
    double largest = 0;
    for (const fs::path& file : importFiles) largest = std::max(largest, readBufferMiB(file));
    return largest;
}

struct ConversionFigures {
    std::vector<double> seconds, cpu, peakMiB;
    uint64_t points = 0, outputBytes = 0;
};

// One conversion in a child process with the writer settings of environment; its output files
// are measured and removed.
bool convertOnce(const std::string& self, const ConversionRequest& request,
                 const std::vector<EnvironmentChange>& environment, ConversionFigures& figures) {
    fs::create_directories(request.outputFolder);
    const bench::ChildResult child =
        runChild(conversionArguments(self, request), true, environment);
    if (!child.ok) return false;
    std::istringstream lines(child.output);
    std::string word;
    double seconds = 0;
    uint64_t points = 0, bytes = 0;
    while (lines >> word) {
        if (word == "seconds") {
            lines >> seconds;
        } else if (word == "file") {
            std::string path;
            std::getline(lines >> std::ws, path);
            points += pointsInNoxFile(path);
            bytes += fs::file_size(path);
            fs::remove(path);
        }
    }
    figures.seconds.push_back(seconds);
    figures.cpu.push_back(child.cpuSeconds);
    figures.peakMiB.push_back(child.peakKiB / 1024.0);
    figures.points = points;
    figures.outputBytes = bytes;
    return points > 0;
}

struct ReferenceFigures {
    std::vector<double> catSeconds, zstdSeconds;
    uint64_t inputBytes = 0;
};

void referenceOnce(const std::vector<fs::path>& files, bool cold, ReferenceFigures& figures) {
    std::vector<std::string> cat = {"cat"}, zstd = {"zstd", "-1", "-T1", "-q", "-c"};
    for (const fs::path& file : files) {
        cat.push_back(file.string());
        zstd.push_back(file.string());
    }
    if (cold) evictFromPageCache(files);
    figures.catSeconds.push_back(runChild(cat, false).wallSeconds);
    if (cold) evictFromPageCache(files);
    figures.zstdSeconds.push_back(runChild(zstd, false).wallSeconds);
}

std::string selfPath() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string("/proc/self/exe") : self.string();
}

struct KindResult {
    std::string kind;
    ConversionFigures oneThread, defaultThreads;
    std::optional<ConversionFigures> version1;  // the version-1 run, where one was made
    ReferenceFigures reference;
};

void printHeader() {
    std::printf("%-4s %4s %7s %10s %7s %7s %7s %8s %6s %6s %6s %6s %9s %9s %8s %8s\n", "mode",
                "kind", "threads", "points", "s(med)", "cpu s", "Mpts/s", "cpuMpt/s", "MiB", "B/pt",
                "cat s", "zstd s", "conv/zstd", "conv/cat", "speed-up", "B/pt v1");
}

// One row: the conversion with one writer setting, beside the references of its kind. The
// default row also carries the speed-up over one thread and the version-1 bytes per point.
void printRow(int mode, const KindResult& r, bool defaultRow) {
    const ConversionFigures& c = defaultRow ? r.defaultThreads : r.oneThread;
    const double seconds = median(c.seconds), cpu = median(c.cpu);
    const double cat = median(r.reference.catSeconds), zstd = median(r.reference.zstdSeconds);
    const double points = static_cast<double>(c.points);
    char speedUp[16] = "-", version1[16] = "-";
    if (defaultRow) {
        std::snprintf(speedUp, sizeof speedUp, "%.2f", median(r.oneThread.seconds) / seconds);
        if (r.version1 && r.version1->points > 0)
            std::snprintf(version1, sizeof version1, "%.3f",
                          static_cast<double>(r.version1->outputBytes) /
                              static_cast<double>(r.version1->points));
    }
    std::printf(
        "%-4d %4s %7s %10llu %7.3f %7.3f %7.2f %8.2f %6.1f %6.3f %6.3f %6.3f %9.2f %9.2f %8s %8s\n",
        mode, r.kind.c_str(), defaultRow ? "default" : "1",
        static_cast<unsigned long long>(c.points), seconds, cpu, points / seconds / 1e6,
        points / cpu / 1e6, *std::max_element(c.peakMiB.begin(), c.peakMiB.end()),
        static_cast<double>(c.outputBytes) / points, cat, zstd, seconds / zstd, seconds / cat,
        speedUp, version1);
}

void printResult(int mode, const KindResult& r) {
    printRow(mode, r, false);
    printRow(mode, r, true);
    std::fflush(stdout);
}

void convertOrExit(const std::string& self, const ConversionRequest& request,
                   const std::vector<EnvironmentChange>& environment, ConversionFigures& figures) {
    if (!convertOnce(self, request, environment, figures)) {
        std::fprintf(stderr, "conversion of %s in mode %d (%s) failed\n", request.kind.c_str(),
                     request.batchMode, bench::describeEnvironment(environment).c_str());
        std::exit(1);
    }
}

// Runs every kind present (and all together) in one batch mode, interleaving the conversions of
// both thread settings and the references so that a busy spell of the machine hits them alike.
// With withVersion1, one more conversion per kind writes version-1 files.
std::vector<KindResult> measureMode(const Options& options, int mode,
                                    const std::map<std::string, std::vector<fs::path>>& byKind,
                                    const std::string& self, bool withVersion1) {
    std::vector<KindResult> results;
    for (const auto& [kind, files] : byKind) {
        KindResult result;
        result.kind = kind;
        std::vector<fs::path> data;
        for (const fs::path& file : files)
            for (const fs::path& d : dataFiles(file)) data.push_back(d);
        for (const fs::path& d : data) result.reference.inputBytes += fs::file_size(d);
        referenceOnce(data, false, result.reference);  // warms the cache; not counted
        result.reference = {{}, {}, result.reference.inputBytes};

        ConversionRequest request{kind, mode, options.dir / "output", options.project,
                                  options.extraInputs};
        for (int run = 0; run < options.runs; ++run) {
            if (options.cold) evictFromPageCache(data);
            convertOrExit(self, request, kOneThread, result.oneThread);
            if (options.cold) evictFromPageCache(data);
            convertOrExit(self, request, kDefaultThreads, result.defaultThreads);
            referenceOnce(data, options.cold, result.reference);
        }
        if (withVersion1) {
            if (options.cold) evictFromPageCache(data);
            result.version1.emplace();
            convertOrExit(self, request, kVersion1, *result.version1);
        }
        printResult(mode, result);
        results.push_back(result);
    }
    return results;
}

std::map<std::string, std::vector<fs::path>> filesByKind(const Options& options) {
    std::map<std::string, std::vector<fs::path>> byKind;
    for (const fs::path& file : listImportFiles(options.project, options.extraInputs)) {
        const std::string kind = inputKind(file);
        if (kind.empty()) continue;
        byKind[kind].push_back(file);
        byKind["all"].push_back(file);
    }
    return byKind;
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--dir" && hasValue)
            options.dir = argv[++i];
        else if (arg == "--points" && hasValue)
            options.points = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--runs" && hasValue)
            options.runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--project" && hasValue)
            options.project = argv[++i];
        else if (arg == "--input" && hasValue)
            options.extraInputs.emplace_back(argv[++i]);
        else if (arg == "--flatness")
            options.flatness = true;
        else if (arg == "--cold")
            options.cold = true;
        else if (arg == "--modes" && hasValue) {
            options.modes.clear();
            std::istringstream list(argv[++i]);
            std::string mode;
            while (std::getline(list, mode, ',')) options.modes.push_back(std::atoi(mode.c_str()));
        } else {
            return false;
        }
    }
    return !options.modes.empty();
}

void printMemoryFlatness(const Options& options, const std::string& self,
                         const std::vector<KindResult>& large,
                         const std::map<std::string, std::vector<fs::path>>& largeFiles) {
    Options small = options;
    small.dir = options.dir / "tenth";
    small.points = options.points / 10;
    const SampleProject project = generateSampleProject(small.dir, small.points);
    small.project = project.project;
    small.extraInputs = project.extraInputs;
    const auto smallFiles = filesByKind(small);
    std::printf(
        "\nmemory flatness, whole-batch mode: peak MiB, the read buffers in it, and the rest\n");
    std::printf("%5s %11s %8s %8s %8s | %11s %8s %8s %8s | %s\n", "kind", "points", "peak",
                "buffers", "rest", "points", "peak", "buffers", "rest", "rest grows");
    for (const KindResult& big : large) {
        ConversionFigures figures;
        ConversionRequest request{big.kind, 3, small.dir / "output", small.project,
                                  small.extraInputs};
        for (int run = 0; run < options.runs; ++run)
            convertOnce(self, request, kDefaultThreads, figures);
        const double tenth = *std::max_element(figures.peakMiB.begin(), figures.peakMiB.end());
        const double full =
            *std::max_element(big.defaultThreads.peakMiB.begin(), big.defaultThreads.peakMiB.end());
        const double tenthBuffers = readBufferMiB(smallFiles.at(big.kind));
        const double fullBuffers = readBufferMiB(largeFiles.at(big.kind));
        const double tenthRest = tenth - tenthBuffers, fullRest = full - fullBuffers;
        std::printf("%5s %11llu %8.1f %8.1f %8.1f | %11llu %8.1f %8.1f %8.1f | %+.1f %%\n",
                    big.kind.c_str(), static_cast<unsigned long long>(figures.points), tenth,
                    tenthBuffers, tenthRest,
                    static_cast<unsigned long long>(big.defaultThreads.points), full, fullBuffers,
                    fullRest, (fullRest / tenthRest - 1) * 100);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0) {
        ConversionRequest request;
        if (!parseConversionArguments(argc, argv, request)) return 2;
        return runConversion(request);
    }
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(
            stderr,
            "usage: %s [--dir FOLDER] [--points N] [--runs R] [--modes 3,2,1] [--flatness] "
            "[--cold]\n"
            "       %s --project FILE.rsp [--input FILE]... [--runs R] [--modes ...] [--cold]\n",
            argv[0], argv[0]);
        return 2;
    }
    if (options.project.empty()) {
        std::printf("project in %s (%llu points; written once, then reused)\n", options.dir.c_str(),
                    static_cast<unsigned long long>(options.points));
        std::fflush(stdout);
        const SampleProject project = generateSampleProject(options.dir, options.points);
        options.project = project.project;
        options.extraInputs = project.extraInputs;
    }
    options.project = fs::absolute(options.project);
    for (fs::path& extra : options.extraInputs) extra = fs::absolute(extra);
    options.dir = fs::absolute(options.dir);

    const auto byKind = filesByKind(options);
    if (byKind.empty()) {
        std::fprintf(stderr, "no input files of a known kind\n");
        return 1;
    }
    const std::string self = selfPath();
    std::printf(
        "%d runs each; medians; conversion with intensity and colour at 1 mm, real writer; input "
        "files %s\n",
        options.runs,
        options.cold ? "cold (dropped from the page cache before each run)"
                     : "warm (in the page cache)");
    std::printf(
        "each conversion with the writer's threads: 1 (KS_NOX_THREADS=1) and default (unset); "
        "speed-up = 1-thread s / default s; B/pt v1: one run with KS_NOX_FORMAT_VERSION=1 in "
        "mode %d\n",
        options.modes.front());
    printHeader();
    std::vector<KindResult> wholeBatch;
    for (int mode : options.modes) {
        std::vector<KindResult> results =
            measureMode(options, mode, byKind, self, mode == options.modes.front());
        if (mode == 3) wholeBatch = results;
    }
    if (options.flatness && !wholeBatch.empty())
        printMemoryFlatness(options, self, wholeBatch, byKind);
    return 0;
}
