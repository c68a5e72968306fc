#include "scanifc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ks_sampledata/point_stream.h"
#include "support/file_bytes.h"
#include "support/scratch_folder.h"

namespace {

using ks_sampledata::kEndOfFrameFlag;
using ks_sampledata::StreamRecord;

std::string uriOf(const std::filesystem::path& path) { return "file://" + path.string(); }

// One read as the caller sees it.
struct Read {
    int result;
    uint32_t got;
    int32_t endOfFrame;
    bool operator==(const Read&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Read& read) {
    return out << "{result " << read.result << ", got " << read.got << ", eof " << read.endOfFrame
               << "}";
}

// An open stream with buffers for reads of want records; closes itself.
class Stream {
public:
    explicit Stream(const std::string& uri, uint32_t want = 0) : xyz_(want), attributes_(want) {
        openResult_ = scanifc_point3dstream_open(uri.c_str(), 0, &handle_);
    }
    ~Stream() {
        if (handle_) scanifc_point3dstream_close(handle_);
    }
    int openResult() const { return openResult_; }
    point3dstream_handle handle() const { return handle_; }

    Read read() {
        Read r{};
        r.result =
            scanifc_point3dstream_read(handle_, static_cast<uint32_t>(xyz_.size()), xyz_.data(),
                                       attributes_.data(), nullptr, &r.got, &r.endOfFrame);
        return r;
    }

    // The record at index i of the last read, in the writer's terms.
    StreamRecord record(size_t i) const {
        const scanifc_attributes& a = attributes_[i];
        return {xyz_[i].x,     xyz_[i].y,   xyz_[i].z, a.amplitude,
                a.reflectance, a.deviation, a.flags,   a.background_radiation};
    }

private:
    point3dstream_handle handle_ = nullptr;
    int openResult_ = -1;
    std::vector<scanifc_xyz32> xyz_;
    std::vector<scanifc_attributes> attributes_;
};

std::vector<StreamRecord> numberedRecords(size_t count, std::initializer_list<size_t> frameEnds) {
    std::vector<StreamRecord> records(count);
    for (size_t i = 0; i < count; ++i) {
        const auto f = static_cast<float>(i);
        records[i] = {f, -f, 0.5f * f, 10 + f, -20 + f, static_cast<uint16_t>(i), 0, f / 8};
    }
    for (size_t end : frameEnds) records[end].flags |= kEndOfFrameFlag;
    return records;
}

TEST(ScanifcStream, DeliversEveryRecordExactlyAcrossBufferRefillsAndFrames) {
    // More records than the reader buffers at a time, frames and reads of unrelated lengths.
    const auto path = ks_test::scratchFolder() / "scan.rxp";
    ks_sampledata::SyntheticStream settings;
    settings.pointCount = 40001;
    settings.framePoints = 7000;
    ks_sampledata::writeSyntheticStream(path, settings);

    Stream stream(uriOf(path), 5000);
    ASSERT_EQ(stream.openResult(), 0);
    uint64_t next = 0;
    int reads = 0;
    for (;;) {
        const Read r = stream.read();
        ASSERT_EQ(r.result, 0) << "read " << reads;
        ++reads;
        if (r.got == 0) {
            EXPECT_EQ(r.endOfFrame, 0) << "the data's end leaves the flag clear";
            break;
        }
        for (uint32_t i = 0; i < r.got; ++i)
            ASSERT_EQ(stream.record(i), ks_sampledata::syntheticStreamRecord(settings, next + i))
                << "record " << next + i;
        next += r.got;
        // A read is short exactly when it ends a frame, or at the end of the data.
        const bool endsFrame = next % settings.framePoints == 0;
        EXPECT_EQ(r.endOfFrame, endsFrame ? 1 : 0) << "after record " << next;
        if (r.got < 5000) {
            EXPECT_TRUE(endsFrame || next == settings.pointCount) << next;
        }
    }
    EXPECT_EQ(next, settings.pointCount);
    ASSERT_LT(reads, 20) << "test too weak: should be about a dozen reads";
}

TEST(ScanifcStream, AFrameEndStopsTheReadAndMoreDataFollows) {
    const auto path = ks_test::scratchFolder() / "frames.rxp";
    ks_sampledata::writePointStream(path, numberedRecords(10, {2, 3, 9}));
    Stream stream(uriOf(path), 6);
    ASSERT_EQ(stream.openResult(), 0);

    EXPECT_EQ(stream.read(), (Read{0, 3, 1}));
    EXPECT_EQ(stream.record(2).x, 2.0f);
    EXPECT_EQ(stream.read(), (Read{0, 1, 1})) << "back-to-back frame ends";
    EXPECT_EQ(stream.read(), (Read{0, 6, 1})) << "a full read that ends a frame";
    EXPECT_EQ(stream.record(0).x, 4.0f);
    EXPECT_EQ(stream.read(), (Read{0, 0, 0}));
    EXPECT_EQ(stream.read(), (Read{0, 0, 0})) << "the end stays the end";
}

TEST(ScanifcStream, ExactlyOneBlockGivesOneFullReadThenAnEmptyOne) {
    const auto dir = ks_test::scratchFolder();
    ks_sampledata::writePointStream(dir / "block.rxp", numberedRecords(50, {}));
    Stream stream(uriOf(dir / "block.rxp"), 50);
    EXPECT_EQ(stream.read(), (Read{0, 50, 0}));
    EXPECT_EQ(stream.record(49), numberedRecords(50, {})[49]);
    EXPECT_EQ(stream.read(), (Read{0, 0, 0}));

    ks_sampledata::writePointStream(dir / "empty.rxp", {});
    Stream empty(uriOf(dir / "empty.rxp"), 50);
    ASSERT_EQ(empty.openResult(), 0);
    EXPECT_EQ(empty.read(), (Read{0, 0, 0}));
}

TEST(ScanifcStream, APartialTrailingRecordFailsTheReadThatReachesIt) {
    const auto dir = ks_test::scratchFolder();
    ks_sampledata::writePointStream(dir / "cut.rxp", numberedRecords(5, {}));
    auto bytes = ks_test::readBytes(dir / "cut.rxp");
    bytes.resize(bytes.size() + 27, 0);
    ks_test::writeBytes(dir / "cut.rxp", bytes);

    Stream stream(uriOf(dir / "cut.rxp"), 100);
    ASSERT_EQ(stream.openResult(), 0);
    EXPECT_EQ(stream.read(), (Read{0, 5, 0})) << "whole records come first";
    const Read failed = stream.read();
    EXPECT_NE(failed.result, 0);
    EXPECT_EQ(failed.got, 0u);
    EXPECT_NE(stream.read().result, 0) << "and the error stays";

    // A file holding a header and a fragment only fails its first read.
    bytes.resize(16 + 3);
    ks_test::writeBytes(dir / "fragment.rxp", bytes);
    Stream fragment(uriOf(dir / "fragment.rxp"), 100);
    ASSERT_EQ(fragment.openResult(), 0);
    EXPECT_NE(fragment.read().result, 0);
}

TEST(ScanifcStream, OpenRefusesWhatIsNotAReadableVersion1Stream) {
    const auto dir = ks_test::scratchFolder();
    ks_sampledata::writePointStream(dir / "good.rxp", numberedRecords(3, {}));
    const auto good = ks_test::readBytes(dir / "good.rxp");
    auto magic = good;
    magic[7] = 'X';
    ks_test::writeBytes(dir / "magic.rxp", magic);
    auto version = good;
    version[8] = 2;
    ks_test::writeBytes(dir / "version.rxp", version);
    ks_test::writeBytes(dir / "short.rxp", {good.begin(), good.begin() + 12});

    for (const char* name : {"magic.rxp", "version.rxp", "short.rxp", "missing.rxp"}) {
        point3dstream_handle handle = reinterpret_cast<point3dstream_handle>(&handle);
        EXPECT_NE(scanifc_point3dstream_open(uriOf(dir / name).c_str(), 0, &handle), 0) << name;
        EXPECT_EQ(handle, nullptr) << name;
    }
    point3dstream_handle handle = nullptr;
    const std::string plainPath = (dir / "good.rxp").string();
    EXPECT_NE(scanifc_point3dstream_open(plainPath.c_str(), 0, &handle), 0) << "not a URI";
    EXPECT_NE(scanifc_point3dstream_open("file://", 0, &handle), 0);
    EXPECT_NE(scanifc_point3dstream_open(nullptr, 0, &handle), 0);
    EXPECT_NE(scanifc_point3dstream_open(uriOf(dir / "good.rxp").c_str(), 0, nullptr), 0);
    EXPECT_EQ(handle, nullptr);
}

TEST(ScanifcStream, NullArgumentsFailWithoutTouchingTheStream) {
    const auto path = ks_test::scratchFolder() / "scan.rxp";
    ks_sampledata::writePointStream(path, numberedRecords(4, {}));
    Stream stream(uriOf(path));
    ASSERT_EQ(stream.openResult(), 0);
    scanifc_xyz32 xyz[4];
    scanifc_attributes attributes[4];
    uint32_t got = 99;
    int32_t eof = 99;
    EXPECT_NE(
        scanifc_point3dstream_read(stream.handle(), 4, nullptr, attributes, nullptr, &got, &eof),
        0);
    EXPECT_EQ(got, 0u);
    EXPECT_NE(scanifc_point3dstream_read(stream.handle(), 4, xyz, nullptr, nullptr, &got, &eof), 0);
    EXPECT_NE(
        scanifc_point3dstream_read(stream.handle(), 4, xyz, attributes, nullptr, nullptr, &eof), 0);
    EXPECT_NE(scanifc_point3dstream_read(nullptr, 4, xyz, attributes, nullptr, &got, &eof), 0);
    EXPECT_NE(scanifc_point3dstream_close(nullptr), 0);

    // Nothing was consumed by the refused reads; time stamps, when asked for, are zero.
    uint64_t times[4] = {7, 7, 7, 7};
    ASSERT_EQ(scanifc_point3dstream_read(stream.handle(), 4, xyz, attributes, times, &got, &eof),
              0);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(xyz[3].x, 3.0f);
    EXPECT_EQ(times[3], 0u);
}

TEST(ScanifcStream, PathIsTakenVerbatimWithALatin1Fallback) {
    const auto dir = ks_test::scratchFolder();
    // "%" is an ordinary character: no percent-decoding.
    ks_sampledata::writePointStream(dir / "a%20b.rxp", numberedRecords(1, {}));
    EXPECT_EQ(Stream(uriOf(dir / "a%20b.rxp")).openResult(), 0);
    EXPECT_NE(Stream(uriOf(dir / "a b.rxp")).openResult(), 0);

    // A name stored as UTF-8 is found from its Latin-1 bytes.
    ks_sampledata::writePointStream(dir / "caf\xC3\xA9.rxp", numberedRecords(1, {}));
    EXPECT_EQ(Stream(uriOf(dir / "caf\xC3\xA9.rxp")).openResult(), 0);
    EXPECT_EQ(Stream(uriOf(dir / "caf\xE9.rxp")).openResult(), 0);
}

TEST(ScanifcStream, FileLayoutIsLittleEndianAndPacked) {
    const auto path = ks_test::scratchFolder() / "layout.rxp";
    ks_sampledata::writePointStream(
        path, std::vector<StreamRecord>{{1.0f, -2.0f, 0.5f, 3.0f, -1.0f, 0x1234, 0x8001, 2.0f}});
    const std::vector<unsigned char> expected = {
        'K',  'S',  'R',  'X',  'P', 'S', 'I',  'M',  1,    0,
        0,    0,    0,    0,    0,   0,   0x00, 0x00, 0x80, 0x3F,  // x 1.0
        0x00, 0x00, 0x00, 0xC0,                                    // y -2.0
        0x00, 0x00, 0x00, 0x3F,                                    // z 0.5
        0x00, 0x00, 0x40, 0x40,                                    // amplitude 3.0
        0x00, 0x00, 0x80, 0xBF,                                    // reflectance -1.0
        0x34, 0x12, 0x01, 0x80,                                    // deviation, flags
        0x00, 0x00, 0x00, 0x40,                                    // background radiation 2.0
    };
    EXPECT_EQ(ks_test::readBytes(path), expected);
}

}  // namespace
