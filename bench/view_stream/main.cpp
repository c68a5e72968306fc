// How fast `noxconvert view` hands out points: the point stream alone (blocks straight from the
// viewer library, no network) and the same stream over HTTP on loopback to a client in this
// process, each on one thread. Also the server's memory while it streams, which must stay flat.
//
//   view_stream_bench --nox FILE.nox [--runs R] [--budget N] [--single-pass]
//
// --single-pass leaves out the coarse first pass (which decodes the whole file once more to pick
// its share), to show what one pass over the file costs.
//
// A file of the sample project at any size: build/bin/make-sample-project DIR --points N, then
// build/bin/noxconvert convert DIR/site.rsp -o FILE.nox. Figures are the best of the runs.
#include <httplib.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "ks_hostkit/nox_scene.h"
#include "ks_nox/file_index.h"
#include "ks_tools/utf8_path.h"
#include "point_stream.h"
#include "view_facts.h"
#include "view_server.h"

namespace {

double seconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Peak resident memory of the process so far, in MiB (VmHWM).
double peakMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

struct Figures {
    double wall = 1e30, cpu = 1e30;
    uint64_t points = 0, bytes = 0;
    void keepBest(double w, double c) {
        wall = std::min(wall, w);
        cpu = std::min(cpu, c);
    }
    void print(const char* what) const {
        std::printf("%-28s %8.1f M points/s by wall, %8.1f by CPU, %7.0f MB/s, %.2f B/point\n",
                    what, double(points) / wall / 1e6, double(points) / cpu / 1e6,
                    double(bytes) / wall / 1e6, double(bytes) / double(points ? points : 1));
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::string noxPath;
    int runs = 3;
    uint64_t budget = noxconvert::kLargestPointBudget;
    bool singlePass = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--nox" && i + 1 < argc)
            noxPath = argv[++i];
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--budget" && i + 1 < argc)
            budget = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--single-pass")
            singlePass = true;
        else {
            std::fprintf(stderr,
                         "usage: view_stream_bench --nox FILE.nox [--runs R] [--budget N] "
                         "[--single-pass]\n");
            return 2;
        }
    }
    if (noxPath.empty()) {
        std::fprintf(stderr, "view_stream_bench: --nox FILE.nox is required\n");
        return 2;
    }
    hostkit::Result<hostkit::NoxScene> scene = hostkit::NoxScene::open(noxPath);
    std::string reason = scene ? std::string() : scene.refusal().reason;
    std::optional<nox::FileIndex> index =
        nox::readFileIndex(ks_tools::pathFromUtf8(noxPath), reason);
    if (!scene || !index) {
        std::fprintf(stderr, "view_stream_bench: cannot open %s: %s\n", noxPath.c_str(),
                     reason.c_str());
        return 1;
    }
    noxconvert::StreamPlan plan = noxconvert::planStream(scene->summary().points, budget);
    if (singlePass) plan.coarse = 1;
    const auto centre = noxconvert::boundsCentre(noxconvert::indexBounds(*index));
    std::printf("%s: %llu points, streamed %llu (stride %u, coarse pass 1/%u), best of %d runs\n",
                noxPath.c_str(), static_cast<unsigned long long>(plan.filePoints),
                static_cast<unsigned long long>(plan.sendPoints), plan.stride, plan.coarse, runs);

    // The stream alone, on this thread.
    Figures blocks;
    const double before = peakMiB();
    for (int run = 0; run < runs; ++run) {
        noxconvert::PointStream stream(*scene, scene->clouds(), plan, centre);
        std::string_view piece;
        uint64_t bytes = 0;
        const double w0 = seconds(CLOCK_MONOTONIC), c0 = seconds(CLOCK_THREAD_CPUTIME_ID);
        while (stream.next(piece)) bytes += piece.size();
        blocks.keepBest(seconds(CLOCK_MONOTONIC) - w0, seconds(CLOCK_THREAD_CPUTIME_ID) - c0);
        blocks.points = stream.sent();
        blocks.bytes = bytes;
    }
    blocks.print("point stream, no network");
    std::printf("%-28s %8.1f MiB peak before, %.1f after\n", "memory", before, peakMiB());

    if (singlePass) return 0;  // the server always plans its own passes

    // The same over loopback: the server's worker thread produces and sends, the client here
    // receives and counts. CPU is the process's less this thread's, so the server's share.
    noxconvert::ViewedFile file;
    file.name = noxPath;
    file.scene.emplace(std::move(*scene));
    file.index = std::move(*index);
    noxconvert::ViewServer server(std::move(file));
    if (!server.bind("127.0.0.1", 0, reason)) {
        std::fprintf(stderr, "view_stream_bench: %s\n", reason.c_str());
        return 1;
    }
    std::thread serving([&server] { server.run(); });
    httplib::Client client("127.0.0.1", server.port());
    Figures loopback;
    double firstBlock = 1e30;  // seconds from the request to the first point's arrival
    bool ok = true;
    for (int run = 0; run < runs && ok; ++run) {
        uint64_t bytes = 0;
        const double w0 = seconds(CLOCK_MONOTONIC), p0 = seconds(CLOCK_PROCESS_CPUTIME_ID),
                     c0 = seconds(CLOCK_THREAD_CPUTIME_ID);
        constexpr uint64_t kFirstPoint =
            noxconvert::kStreamHeaderBytes + noxconvert::kBlockHeaderBytes + 17;
        const auto answer =
            client.Get("/points?budget=" + std::to_string(budget), [&](const char*, size_t length) {
                if (bytes < kFirstPoint && bytes + length >= kFirstPoint)
                    firstBlock = std::min(firstBlock, seconds(CLOCK_MONOTONIC) - w0);
                bytes += length;
                return true;
            });
        const double wall = seconds(CLOCK_MONOTONIC) - w0;
        const double clientCpu = seconds(CLOCK_THREAD_CPUTIME_ID) - c0;
        loopback.keepBest(wall, seconds(CLOCK_PROCESS_CPUTIME_ID) - p0 - clientCpu);
        loopback.points = plan.sendPoints;
        loopback.bytes = bytes;
        ok = answer && answer->status == 200 && bytes == blocks.bytes;
    }
    server.stop();
    serving.join();
    if (!ok) {
        std::fprintf(stderr,
                     "view_stream_bench: the loopback stream differed from the direct one\n");
        return 1;
    }
    loopback.print("over HTTP on loopback");
    std::printf("%-28s %8.1f ms after the request\n", "first point arrived", firstBlock * 1e3);
    std::printf("%-28s %8.1f MiB peak\n", "memory after both", peakMiB());
    return 0;
}
