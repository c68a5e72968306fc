// nox_roundtrip_bench: writes a synthetic scan through libNoxWriter.so, reads it back through
// libKestrionLyrantAPI.so, and prints the figures recorded in docs/benchmarks.md.
//
//   nox_roundtrip_bench [--points N] [--dir FOLDER] [--shuffled] [--cold] [--write-only] [--zstd19]
//                       [--keep]
//
// The scan is written four times, each in a child process of its own (this program run again)
// so that its peak memory and CPU time are the writer's alone: with the writer's threads
// KS_NOX_THREADS=1 and unset (the default, a thread per core), each in the default file version
// (KS_NOX_FORMAT_VERSION unset) and in version 1 (KS_NOX_FORMAT_VERSION=1). The file of each
// version written with the default threads is then read back through the viewer, again in a
// child process, and every point is checked; with --cold the file is dropped from the page cache
// before, so the viewer reads it from the disk.
//
// By default the scan is one grid cloud, sweep by sweep. With --shuffled its non-null points go
// to the writer in a fixed pseudo-random order, as one unstructured cloud (no rows or columns),
// and the read-back expects them in that order.
#include <time.h>
#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "child_process.h"
#include "index_codec.h"
#include "ks_formats/types.h"
#include "lyrant_api.h"
#include "nox_writer_api.h"
#include "page_cache.h"
#include "synthetic_scan.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::EnvironmentChange;
using bench::ScanPoint;
constexpr uint32_t kPointsPerLine = 4000;
constexpr uint32_t kReadBlock = 500000;
constexpr double kStep = 0.001;
constexpr double kOffset[3] = {512345.0, 5412345.0, 310.0};

double seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

double clockSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + now.tv_nsec * 1e-9;
}
// CPU time of the calling thread: on a shared machine it leaves out the time other processes had
// the core, but it does not see the work of other threads.
double threadCpuSeconds() { return clockSeconds(CLOCK_THREAD_CPUTIME_ID); }
// CPU time of every thread of this process.
double processCpuSeconds() { return clockSeconds(CLOCK_PROCESS_CPUTIME_ID); }

long peakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

struct Options {
    uint64_t points = 20000000;
    std::string folder = ".";
    bool shuffled = false;
    bool cold = false;
    bool writeOnly = false;
    bool zstd19 = false;
    bool keep = false;
    std::string writeChild, readChild;  // the file a child process writes or reads
};

// The scan's non-null points in a fixed pseudo-random order (Fisher-Yates on a fixed seed), the
// same in every process.
std::vector<ScanPoint> shuffledPoints(const bench::SyntheticScan& scan) {
    std::vector<ScanPoint> points, line;
    // Room for every point at once: growing would copy the array, and the copy would be the
    // process's peak memory. The room the null points leave is never touched, so never resident.
    points.reserve(size_t(scan.lines()) * scan.pointsPerLine());
    for (uint32_t l = 0; l < scan.lines(); ++l) {
        scan.generateLine(l, line);
        for (const ScanPoint& p : line)
            if (!p.isNull) points.push_back(p);
    }
    uint64_t state = 0x5EED5EED12345678ull;
    const auto next = [&state] {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    for (size_t i = points.size(); i > 1; --i) std::swap(points[i - 1], points[next() % i]);
    return points;
}

// What the writer gets, in its order: the whole grid sweep by sweep (null points included), or
// the shuffled non-null points.
std::vector<ScanPoint> writerInput(const bench::SyntheticScan& scan, bool shuffled) {
    if (shuffled) return shuffledPoints(scan);
    std::vector<ScanPoint> points, line;
    points.reserve(size_t(scan.lines()) * scan.pointsPerLine());
    for (uint32_t l = 0; l < scan.lines(); ++l) {
        scan.generateLine(l, line);
        points.insert(points.end(), line.begin(), line.end());
    }
    return points;
}

// The write child: generates the input before the clock starts, writes it, and prints its
// figures as "name value" lines for the parent.
int writeScan(const bench::SyntheticScan& scan, bool shuffled, const std::string& path) {
    const std::vector<ScanPoint> input = writerInput(scan, shuffled);
    const int32_t rows = shuffled ? 0 : int32_t(scan.lines());
    const int32_t columns = shuffled ? 0 : int32_t(scan.pointsPerLine());
    ksioSetCompressionTolerance(float(kStep));
    const double georeferenced[16] = {1, 0, 0, kOffset[0], 0, 1, 0, kOffset[1],
                                      0, 0, 1, kOffset[2], 0, 0, 0, 1};
    const Clock::time_point start = Clock::now();
    const double startCpu = threadCpuSeconds(), startProcessCpu = processCpuSeconds();
    if (ksioStartStreamW(wide(path).c_str()) != 1 || ksioAddGroupW(0, KS_WIDE("Group")) != 1 ||
        ksioAddCloudW(KSIO_CLOUD_COLOUR | KSIO_CLOUD_INTENSITY, KS_WIDE("Scan"), georeferenced,
                      rows, columns) != 1) {
        std::fprintf(stderr, "writer refused the stream\n");
        return 1;
    }
    uint64_t nonNull = 0;
    for (const ScanPoint& p : input) {
        const int32_t result =
            p.isNull ? ksioAddNullPoint() : ksioAddPoint(p.xyz, p.rgb, p.intensity, nullptr, 0);
        if (result != 1) {
            std::fprintf(stderr, "writer failed with %d\n", result);
            return 1;
        }
        nonNull += !p.isNull;
    }
    const Clock::time_point buildStart = Clock::now();
    if (ksioEndStream() != 1 || ksioBuildNOXFile() != 1) {
        std::fprintf(stderr, "build failed\n");
        return 1;
    }
    const Clock::time_point end = Clock::now();
    const double threadCpu = threadCpuSeconds() - startCpu;
    const double processCpu = processCpuSeconds() - startProcessCpu;
    std::printf("ingest %.6f\nbuild %.6f\nthreadCpu %.6f\nprocessCpu %.6f\n",
                seconds(start, buildStart), seconds(buildStart, end), threadCpu, processCpu);
    std::printf("points %zu\nnonNull %llu\npeakKiB %ld\ninputKiB %zu\n", input.size(),
                (unsigned long long)nonNull, peakMemoryKiB(),
                input.size() * sizeof(ScanPoint) / 1024);
    return 0;
}

// Checks delivered points against the expected ones in order; counts what differs.
struct ReadCheck {
    double worstError = 0;
    uint64_t delivered = 0, mismatches = 0;

    void compare(const double* xyz, const uint8_t* rgb, int16_t intensity, const ScanPoint* p) {
        ++delivered;
        if (!p) {
            ++mismatches;
            return;
        }
        for (int a = 0; a < 3; ++a)
            worstError = std::fmax(worstError, std::fabs(xyz[a] - kOffset[a] - p->xyz[a]));
        if (std::memcmp(rgb, p->rgb, 3) != 0 || intensity != p->intensity) ++mismatches;
    }
};

// The expected non-null points one after another: regenerated sweep by sweep for the grid, from
// the shuffled array otherwise.
class ExpectedPoints {
public:
    ExpectedPoints(const bench::SyntheticScan& scan, bool shuffled)
        : scan_(scan), shuffled_(shuffled) {
        if (shuffled_)
            points_ = shuffledPoints(scan);
        else
            scan_.generateLine(0, points_);
    }
    // The next expected point, or null when there is none.
    const ScanPoint* next() {
        if (shuffled_) return index_ < points_.size() ? &points_[index_++] : nullptr;
        while (line_ < scan_.lines() && (index_ == points_.size() || points_[index_].isNull)) {
            if (index_ == points_.size()) {
                if (++line_ < scan_.lines()) scan_.generateLine(line_, points_);
                index_ = 0;
            } else {
                ++index_;
            }
        }
        return line_ < scan_.lines() ? &points_[index_++] : nullptr;
    }
    // Bytes held for the shuffled order (a sweep's worth for the grid is left out).
    size_t heldBytes() const { return shuffled_ ? points_.size() * sizeof(ScanPoint) : 0; }

private:
    const bench::SyntheticScan& scan_;
    const bool shuffled_;
    std::vector<ScanPoint> points_;  // all of them, shuffled, or the current sweep
    size_t index_ = 0;
    uint32_t line_ = 0;
};

// The read child: reads everything back in blocks of 500,000, timing only the library calls,
// checks each point, and prints its figures as "name value" lines.
int readScan(const bench::SyntheticScan& scan, bool shuffled, const std::string& path) {
    ExpectedPoints expected(scan, shuffled);
    const Clock::time_point openStart = Clock::now();
    const uint64_t scene = ksOpenNOX(wide(path).c_str());
    const double open = seconds(openStart, Clock::now());
    if (!scene) {
        std::fprintf(stderr, "viewer refused %s\n", path.c_str());
        return 1;
    }
    const uint64_t query = ksCreateVisPointsQuery();
    ksSetQueryScope(query, scene);
    ksSetQueryDensity(query, KS_DENSITY_EVEN_SHARE, 1.0f);
    ksSetQueryRGBMode(query, KS_COLOUR_STORED);
    std::vector<double> xyz(3 * size_t(kReadBlock));
    std::vector<uint8_t> rgb(3 * size_t(kReadBlock)), classes(kReadBlock);
    std::vector<int16_t> intensity(kReadBlock);
    double reading = 0, readingCpu = 0;
    ReadCheck check;
    for (;;) {
        const Clock::time_point from = Clock::now();
        const double fromCpu = threadCpuSeconds();
        const uint32_t n = ksGetQueryPointsd(query, kReadBlock, xyz.data(), rgb.data(),
                                             intensity.data(), nullptr, classes.data());
        reading += seconds(from, Clock::now());
        readingCpu += threadCpuSeconds() - fromCpu;
        if (n == 0) break;
        for (uint32_t i = 0; i < n; ++i)
            check.compare(&xyz[3 * size_t(i)], &rgb[3 * size_t(i)], intensity[i], expected.next());
    }
    ksDeleteQuery(query);
    ksRemoveScene(scene);
    const bool missing = expected.next() != nullptr;  // points that never came
    std::printf("open %.6f\nread %.6f\nreadCpu %.6f\ndelivered %llu\n", open, reading, readingCpu,
                (unsigned long long)check.delivered);
    std::printf("worstError %.9f\nmismatches %llu\npeakKiB %ld\ninputKiB %zu\n", check.worstError,
                (unsigned long long)(check.mismatches + (missing ? 1 : 0)), peakMemoryKiB(),
                expected.heldBytes() / 1024);
    return 0;
}

// The same non-null points, quantised to whole steps from the scanner, as plain 17-byte records
// (three int32 steps, int16 intensity, three colour bytes) through zstd at level 19, in the
// order the writer got them.
void zstdReference(const std::vector<ScanPoint>& input) {
    std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx*)> context(ZSTD_createCCtx(), ZSTD_freeCCtx);
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, 19);
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_nbWorkers, 2);
    std::vector<uint8_t> records, out(ZSTD_CStreamOutSize());
    uint64_t compressed = 0, nonNull = 0;
    const Clock::time_point start = Clock::now();
    constexpr size_t kBatch = 4000;
    for (size_t first = 0; first < input.size(); first += kBatch) {
        records.clear();
        const size_t last = std::min(input.size(), first + kBatch);
        for (size_t i = first; i < last; ++i) {
            const ScanPoint& p = input[i];
            if (p.isNull) continue;
            ++nonNull;
            uint8_t record[17];
            for (int a = 0; a < 3; ++a) {
                const int32_t steps = int32_t(std::lround(p.xyz[a] / kStep));
                std::memcpy(record + 4 * a, &steps, 4);
            }
            std::memcpy(record + 12, &p.intensity, 2);
            std::memcpy(record + 14, p.rgb, 3);
            records.insert(records.end(), record, record + 17);
        }
        ZSTD_inBuffer in{records.data(), records.size(), 0};
        const ZSTD_EndDirective mode = last == input.size() ? ZSTD_e_end : ZSTD_e_continue;
        for (;;) {
            ZSTD_outBuffer o{out.data(), out.size(), 0};
            const size_t left = ZSTD_compressStream2(context.get(), &o, &in, mode);
            compressed += o.pos;
            if (ZSTD_isError(left)) return;
            if (mode == ZSTD_e_end ? left == 0 : in.pos == in.size) break;
        }
    }
    std::printf(
        "zstd -19 reference: %.3f bytes per non-null point (17-byte records, %.0f s on 2 "
        "threads)\n",
        double(compressed) / nonNull, seconds(start, Clock::now()));
}

// A child's "name value" lines.
using Figures = std::map<std::string, double>;
Figures parseFigures(const std::string& text) {
    Figures figures;
    std::istringstream lines(text);
    std::string name;
    double value = 0;
    while (lines >> name >> value) figures[name] = value;
    return figures;
}

struct WriteSetting {
    WriteSetting(const char* threadsText, int formatVersion, std::vector<EnvironmentChange> changes,
                 std::string file)
        : threads(threadsText),
          version(formatVersion),
          environment(std::move(changes)),
          path(std::move(file)) {}

    const char* threads;  // as printed
    int version;          // 2: KS_NOX_FORMAT_VERSION unset, 1: set to 1
    std::vector<EnvironmentChange> environment;
    std::string path;
    Figures figures;                // what the write child printed
    uint16_t major = 0, minor = 0;  // the written file's header
};

bool readHeader(const std::string& path, uint16_t& major, uint16_t& minor) {
    std::ifstream in(path, std::ios::binary);
    uint8_t bytes[nox::kHeaderSize];
    if (!in.read(reinterpret_cast<char*>(bytes), sizeof bytes)) return false;
    nox::FileHeader header;
    std::string reason;
    if (!nox::decodeHeader(bytes, sizeof bytes, header, reason)) return false;
    major = header.major;
    minor = header.minor;
    return true;
}

bool sameBytes(const std::string& a, const std::string& b) {
    if (std::filesystem::file_size(a) != std::filesystem::file_size(b)) return false;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (fa && fb) {
        fa.read(ba.data(), std::streamsize(ba.size()));
        fb.read(bb.data(), std::streamsize(bb.size()));
        if (fa.gcount() != fb.gcount() ||
            std::memcmp(ba.data(), bb.data(), size_t(fa.gcount())) != 0)
            return false;
    }
    return true;
}

std::string selfPath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("/proc/self/exe") : self.string();
}

std::vector<std::string> childArguments(const Options& options, const char* role,
                                        const std::string& path) {
    std::vector<std::string> args = {selfPath(), role, path, "--points",
                                     std::to_string(options.points)};
    if (options.shuffled) args.emplace_back("--shuffled");
    return args;
}

double mib(double kib) { return kib / 1024.0; }

void printWrites(const std::vector<WriteSetting>& writes) {
    std::printf(
        "\nwrites, one child process each; the input is generated before the clock starts\n");
    std::printf("%-8s %-7s %-6s %8s %7s %7s %9s %8s %10s %10s %8s %7s %10s %7s\n", "threads",
                "version", "header", "ingest s", "build s", "wall s", "caller s", "all CPU",
                "Mpts/s wall", "Mpts/s CPU", "peak MiB", "MB", "B/non-null", "B/added");
    for (const WriteSetting& w : writes) {
        Figures f = w.figures;
        const double wall = f["ingest"] + f["build"];
        const double bytes = double(std::filesystem::file_size(w.path));
        char header[16];
        std::snprintf(header, sizeof header, "%u.%u", unsigned(w.major), unsigned(w.minor));
        std::printf(
            "%-8s %-7d %-6s %8.3f %7.3f %7.3f %9.3f %8.3f %10.1f %10.1f %8.1f %7.1f %10.3f "
            "%7.3f\n",
            w.threads, w.version, header, f["ingest"], f["build"], wall, f["threadCpu"],
            f["processCpu"], f["points"] / wall / 1e6, f["points"] / f["processCpu"] / 1e6,
            mib(f["peakKiB"] - f["inputKiB"]), bytes / 1e6, bytes / f["nonNull"],
            bytes / f["points"]);
    }
    std::printf(
        "caller s: CPU time of the thread that adds the points; all CPU: every thread of the "
        "writing process; peak MiB: its VmHWM less the input array\n");
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--points" && i + 1 < argc)
            options.points = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--dir" && i + 1 < argc)
            options.folder = argv[++i];
        else if (arg == "--shuffled")
            options.shuffled = true;
        else if (arg == "--cold")
            options.cold = true;
        else if (arg == "--write-only")
            options.writeOnly = true;
        else if (arg == "--zstd19")
            options.zstd19 = true;
        else if (arg == "--keep")
            options.keep = true;
        else if (arg == "--write-child" && i + 1 < argc)
            options.writeChild = argv[++i];
        else if (arg == "--read-child" && i + 1 < argc)
            options.readChild = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: %s [--points N] [--dir FOLDER] [--shuffled] [--cold] "
                         "[--write-only] [--zstd19] [--keep]\n",
                         argv[0]);
            return 2;
        }
    }
    const uint32_t lines = uint32_t(std::max<uint64_t>(1, options.points / kPointsPerLine));
    const bench::SyntheticScan scan(lines, kPointsPerLine);
    if (!options.writeChild.empty()) return writeScan(scan, options.shuffled, options.writeChild);
    if (!options.readChild.empty()) return readScan(scan, options.shuffled, options.readChild);

    std::printf("synthetic scan: %u lines x %u points, 1 mm step, intensity + colour; %s\n", lines,
                kPointsPerLine,
                options.shuffled
                    ? "its non-null points in a fixed pseudo-random order, one unstructured cloud"
                    : "one grid cloud, sweep by sweep");
    std::fflush(stdout);

    const std::string base = options.folder + "/nox_roundtrip_bench";
    const std::optional<std::string> unset;
    std::vector<WriteSetting> writes = {
        {"1", 2, {{"KS_NOX_THREADS", "1"}, {"KS_NOX_FORMAT_VERSION", unset}}, base + "_t1.nox"},
        {"default",
         2,
         {{"KS_NOX_THREADS", unset}, {"KS_NOX_FORMAT_VERSION", unset}},
         base + ".nox"},
        {"1", 1, {{"KS_NOX_THREADS", "1"}, {"KS_NOX_FORMAT_VERSION", "1"}}, base + "_v1_t1.nox"},
        {"default",
         1,
         {{"KS_NOX_THREADS", unset}, {"KS_NOX_FORMAT_VERSION", "1"}},
         base + "_v1.nox"},
    };
    for (WriteSetting& w : writes) {
        const bench::ChildResult child =
            bench::runChild(childArguments(options, "--write-child", w.path), true, w.environment);
        if (!child.ok || !readHeader(w.path, w.major, w.minor)) {
            std::fprintf(stderr, "the write with %s failed\n",
                         bench::describeEnvironment(w.environment).c_str());
            return 1;
        }
        w.figures = parseFigures(child.output);
    }
    printWrites(writes);
    const auto wallOf = [](const WriteSetting& w) {
        return w.figures.at("ingest") + w.figures.at("build");
    };
    std::printf("speed-up of the default threads over 1 (wall): version 2 %.2f, version 1 %.2f\n",
                wallOf(writes[0]) / wallOf(writes[1]), wallOf(writes[2]) / wallOf(writes[3]));
    std::printf("files of 1 thread and of the default threads: version 2 %s, version 1 %s\n",
                sameBytes(writes[0].path, writes[1].path) ? "identical" : "differ",
                sameBytes(writes[2].path, writes[3].path) ? "identical" : "differ");
    const double v2 = double(std::filesystem::file_size(writes[1].path));
    const double v1 = double(std::filesystem::file_size(writes[3].path));
    std::printf(
        "version 1 against version 2: %.3f against %.3f bytes per non-null point (%+.1f %%)\n",
        v1 / writes[3].figures.at("nonNull"), v2 / writes[1].figures.at("nonNull"),
        (v1 / v2 - 1) * 100);
    std::fflush(stdout);

    int result = 0;
    if (!options.writeOnly) {
        std::printf(
            "\nreads, one child process each, of the files written with default threads (%s)\n",
            options.cold ? "cold: dropped from the page cache before" : "warm: in the page cache");
        std::printf("%-7s %7s %7s %10s %11s %10s %8s %13s %10s\n", "version", "open s", "read s",
                    "read CPU s", "Mpts/s wall", "with open", "peak MiB", "worst error m",
                    "mismatches");
        for (const WriteSetting* w : {&writes[1], &writes[3]}) {
            if (options.cold) bench::evictFromPageCache({w->path});
            const bench::ChildResult child =
                bench::runChild(childArguments(options, "--read-child", w->path), true);
            Figures f = parseFigures(child.output);
            const bool good = child.ok && f["mismatches"] == 0 &&
                              f["delivered"] == w->figures.at("nonNull") &&
                              f["worstError"] <= kStep / 2 + 1e-6;
            std::printf("%-7d %7.3f %7.3f %10.3f %11.1f %10.1f %8.1f %13.6f %10.0f%s\n", w->version,
                        f["open"], f["read"], f["readCpu"], f["delivered"] / f["read"] / 1e6,
                        f["delivered"] / (f["read"] + f["open"]) / 1e6,
                        mib(f["peakKiB"] - f["inputKiB"]), f["worstError"], f["mismatches"],
                        good ? "" : "  FAILED");
            if (!good) result = 1;
        }
        std::printf(
            "a point is right when its position is within half a step (%.4f m) and its colour "
            "and intensity are exact; peak MiB: VmHWM less the expected points held\n",
            kStep / 2);
    }
    if (options.zstd19) zstdReference(writerInput(scan, options.shuffled));
    if (!options.keep)
        for (const WriteSetting& w : writes) std::filesystem::remove(w.path);
    return result;
}
