#include "index_codec.h"

#include <cmath>
#include <cstring>

#include "byte_io.h"
#include "checksum.h"

namespace nox {
namespace {

void putBounds(ByteWriter& out, const Bounds& b) {
    for (double v : b.min) out.put(v);
    for (double v : b.max) out.put(v);
}

Bounds getBounds(ByteReader& in) {
    Bounds b;
    for (double& v : b.min) v = in.get<double>();
    for (double& v : b.max) v = in.get<double>();
    return b;
}

std::vector<uint8_t> metaSection(const FileIndex& index) {
    std::vector<uint8_t> bytes;
    ByteWriter w(bytes);
    w.put<uint32_t>(static_cast<uint32_t>(index.tags.size()));
    for (const MetaTag& tag : index.tags) {
        w.put(tag.kind);
        w.text(tag.name);
        w.text(tag.value);
    }
    return bytes;
}

std::vector<uint8_t> groupSection(const FileIndex& index) {
    std::vector<uint8_t> bytes;
    ByteWriter w(bytes);
    w.put<uint32_t>(static_cast<uint32_t>(index.groups.size()));
    for (const GroupRecord& group : index.groups) {
        w.put(group.flags);
        w.text(group.name);
        w.put(group.intensityMin);
        w.put(group.intensityMax);
    }
    return bytes;
}

std::vector<uint8_t> cloudSection(const FileIndex& index) {
    std::vector<uint8_t> bytes;
    ByteWriter w(bytes);
    w.put<uint32_t>(static_cast<uint32_t>(index.clouds.size()));
    for (const CloudRecord& cloud : index.clouds) {
        w.put(cloud.group);
        w.put(cloud.flags);
        w.text(cloud.name);
        for (double v : cloud.matrix) w.put(v);
        w.put(cloud.rows);
        w.put(cloud.columns);
        w.put(cloud.points);
        w.put(cloud.nullPoints);
        w.put(cloud.filteredPoints);
        w.put(cloud.sourceClouds);
        putBounds(w, cloud.bounds);
        w.put(cloud.firstChunk);
        w.put(cloud.chunkCount);
    }
    return bytes;
}

void putChunk(ByteWriter& w, const ChunkRecord& chunk) {
    w.put(chunk.offset);
    w.put(chunk.storedSize);
    w.put(chunk.checksum);
    w.put(chunk.cloud);
    w.put(chunk.points);
    w.put(chunk.nullPoints);
    w.put(chunk.channels);
    w.put(chunk.step);
    for (double v : chunk.origin) w.put(v);
    putBounds(w, chunk.bounds);
}

void emitSection(const IndexSink& sink, uint32_t tag, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> head;
    ByteWriter w(head);
    w.put(tag);
    w.put<uint32_t>(0);
    w.put<uint64_t>(payload.size());
    sink(head.data(), head.size());
    sink(payload.data(), payload.size());
}

// The chunk table grows with the point count, so it goes out in blocks rather than as one buffer.
void emitChunkSection(const IndexSink& sink, const FileIndex& index) {
    std::vector<uint8_t> block;
    ByteWriter w(block);
    w.put(kSectionChunks);
    w.put<uint32_t>(0);
    w.put<uint64_t>(4 + index.chunks.size() * kChunkRecordSize);
    w.put<uint32_t>(static_cast<uint32_t>(index.chunks.size()));
    for (size_t i = 0; i < index.chunks.size(); ++i) {
        putChunk(w, index.chunks[i]);
        if (block.size() >= 64 * 1024) {
            sink(block.data(), block.size());
            block.clear();
        }
    }
    sink(block.data(), block.size());
}

bool fail(std::string& reason, const char* text) {
    reason = text;
    return false;
}

bool readMeta(ByteReader& in, FileIndex& index) {
    const uint32_t count = in.get<uint32_t>();
    if (count > in.remaining() / 9) return false;
    index.tags.resize(count);
    for (MetaTag& tag : index.tags) {
        tag.kind = in.get<uint8_t>();
        tag.name = in.text();
        tag.value = in.text();
    }
    return in.ok() && in.remaining() == 0;
}

bool readGroups(ByteReader& in, FileIndex& index) {
    const uint32_t count = in.get<uint32_t>();
    if (count > in.remaining() / 16) return false;
    index.groups.resize(count);
    for (GroupRecord& group : index.groups) {
        group.flags = in.get<uint32_t>();
        group.name = in.text();
        group.intensityMin = in.get<int32_t>();
        group.intensityMax = in.get<int32_t>();
    }
    return in.ok() && in.remaining() == 0;
}

bool readClouds(ByteReader& in, FileIndex& index) {
    const uint32_t count = in.get<uint32_t>();
    if (count > in.remaining() / 100) return false;
    index.clouds.resize(count);
    for (CloudRecord& cloud : index.clouds) {
        cloud.group = in.get<uint32_t>();
        cloud.flags = in.get<uint32_t>();
        cloud.name = in.text();
        for (double& v : cloud.matrix) v = in.get<double>();
        cloud.rows = in.get<int32_t>();
        cloud.columns = in.get<int32_t>();
        cloud.points = in.get<uint64_t>();
        cloud.nullPoints = in.get<uint64_t>();
        cloud.filteredPoints = in.get<uint64_t>();
        cloud.sourceClouds = in.get<uint32_t>();
        cloud.bounds = getBounds(in);
        cloud.firstChunk = in.get<uint32_t>();
        cloud.chunkCount = in.get<uint32_t>();
    }
    return in.ok() && in.remaining() == 0;
}

bool readChunks(ByteReader& in, FileIndex& index) {
    const uint32_t count = in.get<uint32_t>();
    if (count != in.remaining() / kChunkRecordSize) return false;
    index.chunks.resize(count);
    for (ChunkRecord& chunk : index.chunks) {
        chunk.offset = in.get<uint64_t>();
        chunk.storedSize = in.get<uint64_t>();
        chunk.checksum = in.get<uint64_t>();
        chunk.cloud = in.get<uint32_t>();
        chunk.points = in.get<uint32_t>();
        chunk.nullPoints = in.get<uint32_t>();
        chunk.channels = in.get<uint32_t>();
        chunk.step = in.get<double>();
        for (double& v : chunk.origin) v = in.get<double>();
        chunk.bounds = getBounds(in);
    }
    return in.ok() && in.remaining() == 0;
}

// References and counts that the decoder relies on later.
bool checkConsistency(const FileIndex& index, uint64_t dataEnd, std::string& reason) {
    for (const CloudRecord& cloud : index.clouds) {
        if (cloud.group >= index.groups.size())
            return fail(reason, "cloud refers to a missing group");
        if (cloud.nullPoints > cloud.points)
            return fail(reason, "cloud has more null points than points");
        if (cloud.rows < 0 || cloud.columns < 0 ||
            (cloud.rows > 0 && uint64_t(cloud.rows) * uint64_t(cloud.columns) != cloud.points))
            return fail(reason, "grid size does not match the point count");
        if (uint64_t(cloud.firstChunk) + cloud.chunkCount > index.chunks.size())
            return fail(reason, "cloud refers to missing chunks");
        for (double v : cloud.matrix)
            if (!std::isfinite(v)) return fail(reason, "cloud matrix is not finite");
        uint64_t points = 0, nulls = 0;
        for (uint32_t c = cloud.firstChunk; c < cloud.firstChunk + cloud.chunkCount; ++c) {
            if (index.chunks[c].cloud != uint32_t(&cloud - index.clouds.data()))
                return fail(reason, "chunk belongs to another cloud");
            points += index.chunks[c].points;
            nulls += index.chunks[c].nullPoints;
        }
        if (points != cloud.points || nulls != cloud.nullPoints)
            return fail(reason, "cloud counts differ from its chunks");
    }
    uint64_t expectedOffset = kHeaderSize;
    for (const ChunkRecord& chunk : index.chunks) {
        if (chunk.cloud >= index.clouds.size())
            return fail(reason, "chunk refers to a missing cloud");
        if (chunk.points == 0 || chunk.points > kChunkCapacity || chunk.nullPoints > chunk.points)
            return fail(reason, "chunk point count out of range");
        // Chunks follow each other without gaps, which also rules out overlaps.
        if (chunk.offset != expectedOffset || chunk.storedSize > dataEnd - chunk.offset)
            return fail(reason, "chunk lies outside the data area");
        expectedOffset += chunk.storedSize;
        if (!(chunk.step >= kMinimumStep * 0.5) || !std::isfinite(chunk.step))
            return fail(reason, "chunk step out of range");
        for (double v : chunk.origin)
            if (!std::isfinite(v)) return fail(reason, "chunk origin is not finite");
    }
    if (expectedOffset != dataEnd) return fail(reason, "data area size differs from its chunks");
    return true;
}

}  // namespace

std::vector<uint8_t> encodeHeader(const FileHeader& header) {
    std::vector<uint8_t> bytes;
    bytes.reserve(kHeaderSize);
    ByteWriter w(bytes);
    w.bytes(kMagic.data(), kMagic.size());
    w.put(header.major);
    w.put(header.minor);
    w.put(kHeaderSize);
    w.put(header.indexOffset);
    w.put(header.indexSize);
    w.put(header.indexChecksum);
    w.put(header.fileSize);
    w.put(header.totalPoints);
    w.put(checksum64(bytes.data(), bytes.size()));
    return bytes;
}

bool decodeHeader(const uint8_t* bytes, size_t size, FileHeader& header, std::string& reason) {
    if (size < kHeaderSize) return fail(reason, "file is shorter than its header");
    if (std::memcmp(bytes, kMagic.data(), kMagic.size()) != 0)
        return fail(reason, "not a NOX file");
    ByteReader in(bytes + kMagic.size(), kHeaderSize - kMagic.size());
    header.major = in.get<uint16_t>();
    header.minor = in.get<uint16_t>();
    const uint32_t headerSize = in.get<uint32_t>();
    header.indexOffset = in.get<uint64_t>();
    header.indexSize = in.get<uint64_t>();
    header.indexChecksum = in.get<uint64_t>();
    header.fileSize = in.get<uint64_t>();
    header.totalPoints = in.get<uint64_t>();
    const uint64_t stored = in.get<uint64_t>();
    if (stored != checksum64(bytes, kHeaderSize - 8))
        return fail(reason, "header checksum mismatch");
    if (header.major < kOldestMajorVersion || header.major > kMajorVersion)
        return fail(reason, "unsupported major version");
    if (headerSize != kHeaderSize) return fail(reason, "unexpected header size");
    return true;
}

void encodeIndex(const FileIndex& index, const IndexSink& sink) {
    emitSection(sink, kSectionMeta, metaSection(index));
    emitSection(sink, kSectionGroups, groupSection(index));
    emitSection(sink, kSectionClouds, cloudSection(index));
    emitChunkSection(sink, index);
}

bool decodeIndex(const uint8_t* bytes, size_t size, uint64_t dataEnd, FileIndex& index,
                 std::string& reason) {
    ByteReader in(bytes, size);
    bool seen[4] = {false, false, false, false};
    while (in.ok() && in.remaining() > 0) {
        const uint32_t tag = in.get<uint32_t>();
        in.get<uint32_t>();
        const uint64_t length = in.get<uint64_t>();
        if (!in.ok() || length > in.remaining())
            return fail(reason, "index section overruns the index");
        ByteReader section(in.take(length), length);
        const auto readOnce = [&](int slot, bool (*read)(ByteReader&, FileIndex&)) {
            if (seen[slot]) return false;  // a repeated section is as suspect as a missing one
            seen[slot] = true;
            return read(section, index);
        };
        bool ok = true;
        if (tag == kSectionMeta)
            ok = readOnce(0, readMeta);
        else if (tag == kSectionGroups)
            ok = readOnce(1, readGroups);
        else if (tag == kSectionClouds)
            ok = readOnce(2, readClouds);
        else if (tag == kSectionChunks)
            ok = readOnce(3, readChunks);
        if (!ok) return fail(reason, "malformed index section");
    }
    if (!in.ok()) return fail(reason, "malformed index");
    if (!(seen[0] && seen[1] && seen[2] && seen[3])) return fail(reason, "index section missing");
    return checkConsistency(index, dataEnd, reason);
}

}  // namespace nox
