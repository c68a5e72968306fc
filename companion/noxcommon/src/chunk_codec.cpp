#include "chunk_codec.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstring>
#include <new>

#include "byte_io.h"
#include "chunk_prediction.h"
#include "chunk_streams.h"
#include "ks_common/little_endian.h"

namespace nox {
namespace {

uint64_t capped(uint64_t residual) {
    const uint64_t z = zigzag(residual);
    return z < 0xFFFF ? z : 0xFFFF;
}

// The predictor whose residuals have the smaller sum of magnitudes, a cheap stand-in for their
// coded size. "previous" predicts s[i-1]; "linear" predicts 2 s[i-1] - s[i-2].
// The linear residual is the change of the previous-point residual, which is carried along
// instead of being worked out again from three values.
uint8_t choosePredictor(const uint64_t* values, size_t n) {
    uint64_t previousCost = 0, linearCost = 0;
    if (n < 3) return kPredictPrevious;
    uint64_t lastDelta = values[1] - values[0];
    for (size_t i = 2; i < n; ++i) {
        const uint64_t delta = values[i] - values[i - 1];
        previousCost += capped(delta);
        linearCost += capped(delta - lastDelta);
        lastDelta = delta;
    }
    return linearCost < previousCost ? kPredictLinear : kPredictPrevious;
}

// A zigzag residual into the low and high byte planes, or, from 0xFFFF on, an escape in both
// and the full value in the escape stream.
inline void splitResidual(uint64_t z, size_t i, uint8_t* low, uint8_t* high,
                          std::vector<uint8_t>& exceptions) {
    if (z < kEscape) {
        low[i] = static_cast<uint8_t>(z);
        high[i] = static_cast<uint8_t>(z >> 8);
    } else {
        low[i] = high[i] = 0xFF;
        const size_t at = exceptions.size();
        exceptions.resize(at + 8);
        ks_common::store(exceptions.data() + at, z);
    }
}

uint64_t predictFirstTwo(const uint64_t* values, size_t i, uint8_t predictor) {
    if (i == 0) return 0;
    if (i == 1 || predictor == kPredictPrevious) return values[i - 1];
    return 2 * values[i - 1] - values[i - 2];
}

}  // namespace

ChunkEncoder::ChunkEncoder(int level, uint16_t version)
    : context_(ZSTD_createCCtx()), level_(level), version_(version) {
    if (!context_) throw std::bad_alloc();
    // Byte planes are mostly entropy coding with few long matches: a small match table keeps the
    // per-stream table reset cheap without costing ratio.
    ZSTD_CCtx_setParameter(context_.get(), ZSTD_c_compressionLevel, level_);
    ZSTD_CCtx_setParameter(context_.get(), ZSTD_c_windowLog, 17);
    ZSTD_CCtx_setParameter(context_.get(), ZSTD_c_hashLog, 8);
    ZSTD_CCtx_setParameter(context_.get(), ZSTD_c_minMatch, 7);
    wide_.resize(kChunkCapacity);
    low_.resize(kChunkCapacity * 2);
    high_.resize(kChunkCapacity * 2);
    bytes_.resize(kChunkCapacity * 3);
    packed_.resize(ZSTD_compressBound(8 * kChunkCapacity));
    if (version_ >= 2)
        for (std::vector<uint64_t>& residuals : residuals_) residuals.resize(kChunkCapacity);
}

void ChunkEncoder::addStream(uint8_t id, uint8_t parameter, const uint8_t* data, size_t size,
                             std::vector<uint8_t>& out) {
    if (size == 0) return;  // an absent stream reads as empty
    // Compress into a scratch buffer sized once, so that `out` only ever grows by what is kept
    // (growing it by the bound first would zero-fill that much for every stream).
    const size_t bound = ZSTD_compressBound(size);
    if (packed_.size() < bound) packed_.resize(bound);
    const size_t packed = ZSTD_compress2(context_.get(), packed_.data(), bound, data, size);
    const bool useZstd = !ZSTD_isError(packed) && packed < size;
    const uint8_t coding = useZstd ? kCodingZstd : kCodingRaw;
    const size_t stored = useZstd ? packed : size;
    const uint8_t* source = useZstd ? packed_.data() : data;
    out.insert(out.end(), source, source + stored);

    uint8_t* entry = out.data() + tableAt_ + kTableEntrySize * streamCount_++;
    entry[0] = id;
    entry[1] = coding;
    entry[2] = parameter;
    entry[3] = 0;
    const uint32_t raw32 = static_cast<uint32_t>(size), stored32 = static_cast<uint32_t>(stored);
    ks_common::store(entry + 4, raw32);
    ks_common::store(entry + 8, stored32);
}

void ChunkEncoder::addResidualField(uint8_t baseId, uint8_t predictor, const uint64_t* values,
                                    size_t n, std::vector<uint8_t>& out) {
    exceptions_.clear();
    // Plain pointers: a byte store may alias the vectors' own fields, which would otherwise be
    // loaded again for every value.
    uint8_t* const low = low_.data();
    uint8_t* const high = high_.data();
    const auto put = [&](size_t i, uint64_t z) { splitResidual(z, i, low, high, exceptions_); };
    // The first two points have shorter predictions; after them each predictor is one plain loop.
    const size_t head = n < 2 ? n : 2;
    for (size_t i = 0; i < head; ++i)
        put(i, zigzag(values[i] - predictFirstTwo(values, i, predictor)));
    if (predictor == kPredictLinear) {
        for (size_t i = 2; i < n; ++i)
            put(i, zigzag(values[i] - 2 * values[i - 1] + values[i - 2]));
    } else {
        for (size_t i = 2; i < n; ++i) put(i, zigzag(values[i] - values[i - 1]));
    }
    addStream(baseId, predictor, low_.data(), n, out);
    addStream(baseId + 1, predictor, high_.data(), n, out);
    addStream(baseId + 2, predictor, exceptions_.data(), exceptions_.size(), out);
}

void ChunkEncoder::encode(const ChunkPoints& p, std::vector<uint8_t>& out) {
    // The table has at most one entry per id; its unused tail is trimmed at the end.
    const size_t start = out.size();
    out.resize(start + 4 + kTableEntrySize * kStreamIdLimit);
    tableAt_ = start + 4;
    streamCount_ = 0;
    if (p.valid < p.count) addStream(kStreamNulls, 0, p.isNull.data(), p.count, out);
    if (version_ >= 2)
        encodeSecondCoding(p, out);
    else
        encodeFirstCoding(p, out);

    // Close the gap between the used table entries and the stream data.
    const size_t usedTable = kTableEntrySize * streamCount_;
    const size_t dataStart = tableAt_ + kTableEntrySize * kStreamIdLimit;
    std::memmove(out.data() + tableAt_ + usedTable, out.data() + dataStart, out.size() - dataStart);
    out.resize(out.size() - (dataStart - tableAt_ - usedTable));
    ks_common::store(out.data() + start, streamCount_);
}

void ChunkEncoder::addResiduals(uint8_t baseId, uint8_t predictor, const uint64_t* residuals,
                                size_t n, std::vector<uint8_t>& out) {
    exceptions_.clear();
    uint8_t* const low = low_.data();
    uint8_t* const high = high_.data();
    for (size_t i = 0; i < n; ++i) splitResidual(zigzag(residuals[i]), i, low, high, exceptions_);
    addStream(baseId, predictor, low_.data(), n, out);
    addStream(baseId + 1, predictor, high_.data(), n, out);
    addStream(baseId + 2, predictor, exceptions_.data(), exceptions_.size(), out);
}

void ChunkEncoder::encodeFirstCoding(const ChunkPoints& p, std::vector<uint8_t>& out) {
    const size_t n = p.valid;

    const uint8_t axisIds[3] = {kStreamX, kStreamY, kStreamZ};
    for (int axis = 0; axis < 3; ++axis) {
        const auto* values = reinterpret_cast<const uint64_t*>(p.steps[axis].data());
        addResidualField(axisIds[axis], choosePredictor(values, n), values, n, out);
    }
    // Small fields widen to 64 bits first so that one residual coder serves every column.
    auto* wide = reinterpret_cast<uint64_t*>(wide_.data());
    if (p.channels & kCloudIntensity) {
        for (size_t i = 0; i < n; ++i) wide[i] = static_cast<uint64_t>(int64_t(p.intensity[i]));
        addResidualField(kStreamIntensity, kPredictPrevious, wide, n, out);
    }
    if (p.channels & kCloudNormals) {
        for (int component = 0; component < 2; ++component) {
            for (size_t i = 0; i < n; ++i)
                wide[i] = static_cast<uint64_t>(int64_t(p.normals[2 * i + component]));
            addResidualField(component == 0 ? kStreamNormalU : kStreamNormalV, kPredictPrevious,
                             wide, n, out);
        }
    }
    if (p.channels & kCloudColour) {
        // Green, then red and blue as differences from green (greys cost almost nothing), each
        // as a difference from the previous point, modulo 256.
        uint8_t* const green = bytes_.data();
        uint8_t* const redMinusGreen = green + n;
        uint8_t* const blueMinusGreen = green + 2 * n;
        const uint8_t* const rgb = p.rgb.data();
        uint8_t previousG = 0, previousR = 0, previousB = 0;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* c = rgb + 3 * i;
            const uint8_t g = c[1], r = uint8_t(c[0] - c[1]), b = uint8_t(c[2] - c[1]);
            green[i] = uint8_t(g - previousG);
            redMinusGreen[i] = uint8_t(r - previousR);
            blueMinusGreen[i] = uint8_t(b - previousB);
            previousG = g;
            previousR = r;
            previousB = b;
        }
        addStream(kStreamGreen, 0, green, n, out);
        addStream(kStreamRedMinusGreen, 0, redMinusGreen, n, out);
        addStream(kStreamBlueMinusGreen, 0, blueMinusGreen, n, out);
    }
    if (p.channels & kCloudClass) addStream(kStreamClass, 0, p.classes.data(), n, out);
}

ChunkDecoder::ChunkDecoder() : context_(ZSTD_createDCtx()) {
    if (!context_) throw std::bad_alloc();
}

bool failWith(std::string& reason, const char* text) {
    reason = text;
    return false;
}

bool readResiduals(const std::vector<uint8_t>* streams, uint8_t baseId, size_t n, uint64_t* out) {
    const std::vector<uint8_t>& low = streams[baseId];
    const std::vector<uint8_t>& high = streams[baseId + 1];
    const std::vector<uint8_t>& exceptions = streams[baseId + 2];
    if (low.size() != n || high.size() != n || exceptions.size() % 8 != 0) return false;
    const size_t exceptionCount = exceptions.size() / 8;
    size_t used = 0;
    size_t i = 0;
    // A residual and its escape, one at a time.
    const auto one = [&](size_t at) {
        uint64_t z = uint64_t(low[at]) | uint64_t(high[at]) << 8;
        if (z == kEscape) {
            if (used == exceptionCount) return false;
            z = ks_common::load<uint64_t>(exceptions.data() + 8 * used++);
        }
        out[at] = unzigzag(z);
        return true;
    };
#if defined(__SSE2__)
    // Sixteen at a time where none of them is an escape: the 16-bit zigzag undone in eight
    // lanes, then widened to 64 bits with its sign. A group with an escape goes one by one.
    const __m128i ones = _mm_set1_epi8(-1), bit = _mm_set1_epi16(1), zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i lowBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&low[i]));
        const __m128i highBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&high[i]));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(lowBytes, highBytes), ones)) != 0) {
            for (size_t k = i; k < i + 16; ++k)
                if (!one(k)) return false;
            continue;
        }
        for (int half = 0; half < 2; ++half) {
            const __m128i z = half == 0 ? _mm_unpacklo_epi8(lowBytes, highBytes)
                                        : _mm_unpackhi_epi8(lowBytes, highBytes);
            const __m128i value =
                _mm_xor_si128(_mm_srli_epi16(z, 1), _mm_sub_epi16(zero, _mm_and_si128(z, bit)));
            const __m128i valueSign = _mm_srai_epi16(value, 15);
            const __m128i wide[2] = {_mm_unpacklo_epi16(value, valueSign),
                                     _mm_unpackhi_epi16(value, valueSign)};
            for (int quarter = 0; quarter < 2; ++quarter) {
                const __m128i wideSign = _mm_srai_epi32(wide[quarter], 31);
                auto* at = reinterpret_cast<__m128i*>(out + i + 8 * half + 4 * quarter);
                _mm_storeu_si128(at, _mm_unpacklo_epi32(wide[quarter], wideSign));
                _mm_storeu_si128(at + 1, _mm_unpackhi_epi32(wide[quarter], wideSign));
            }
        }
    }
#endif
    for (; i < n; ++i)
        if (!one(i)) return false;
    return used == exceptionCount;
}

bool joinField(const std::vector<uint8_t>* streams, uint8_t baseId, uint8_t predictor, size_t n,
               uint64_t* out) {
    if (!readResiduals(streams, baseId, n, out)) return false;
    // A second pass per predictor keeps both loops free of branches, which is faster than one.
    if (predictor == kPredictLinear) {
        uint64_t a = 0, b = 0;
        for (size_t i = 0; i < n; ++i) {
            const uint64_t predicted = i >= 2 ? 2 * a - b : a;
            b = a;
            a = out[i] += predicted;
        }
    } else {
        uint64_t previous = 0;
        for (size_t i = 0; i < n; ++i) previous = out[i] += previous;
    }
    return true;
}

namespace {

bool joinSmallField(const std::vector<uint8_t>* streams, uint8_t baseId, size_t n,
                    uint64_t* scratch, int16_t* out, size_t stride) {
    if (!joinField(streams, baseId, kPredictPrevious, n, scratch)) return false;
    for (size_t i = 0; i < n; ++i) out[i * stride] = static_cast<int16_t>(scratch[i]);
    return true;
}

}  // namespace

bool ChunkDecoder::readStreams(const uint8_t* payload, size_t size, std::string& reason) {
    ByteReader in(payload, size);
    const uint32_t streamCount = in.get<uint32_t>();
    if (!in.ok() || streamCount > kStreamIdLimit) return failWith(reason, "bad stream table");
    const uint8_t* table = in.take(size_t(streamCount) * kTableEntrySize);
    if (!table) return failWith(reason, "bad stream table");
    std::fill(std::begin(present_), std::end(present_), false);
    std::fill(std::begin(parameters_), std::end(parameters_), uint8_t(0));
    for (uint32_t s = 0; s < streamCount; ++s) {
        const uint8_t* entry = table + s * kTableEntrySize;
        const uint8_t id = entry[0], coding = entry[1];
        const uint32_t raw = ks_common::load<uint32_t>(entry + 4);
        const uint32_t stored = ks_common::load<uint32_t>(entry + 8);
        // No stream of a valid chunk is larger than 8 bytes per point.
        if (id >= kStreamIdLimit || present_[id] || raw > 8u * kChunkCapacity)
            return failWith(reason, "bad stream entry");
        const uint8_t* data = in.take(stored);
        if (!data) return failWith(reason, "stream overruns the chunk");
        std::vector<uint8_t>& target = streams_[id];
        target.resize(raw);
        if (coding == kCodingRaw) {
            if (stored != raw) return failWith(reason, "bad raw stream size");
            // An empty stream has no buffer to copy into (memcpy must not see null).
            if (raw > 0) std::memcpy(target.data(), data, raw);
        } else if (coding == kCodingZstd) {
            const size_t got =
                ZSTD_decompressDCtx(context_.get(), target.data(), raw, data, stored);
            if (ZSTD_isError(got) || got != raw)
                return failWith(reason, "stream does not decompress");
        } else {
            return failWith(reason, "unknown stream coding");
        }
        present_[id] = true;
        parameters_[id] = entry[2];
    }
    if (in.remaining() != 0) return failWith(reason, "trailing bytes in chunk");
    for (size_t id = 0; id < kStreamIdLimit; ++id)
        if (!present_[id]) streams_[id].clear();
    return true;
}

bool ChunkDecoder::decode(const uint8_t* payload, size_t size, const ChunkRecord& record,
                          ChunkPoints& p, std::string& reason, uint16_t version) {
    if (!readStreams(payload, size, reason)) return false;

    p.count = record.points;
    p.valid = record.points - record.nullPoints;
    p.channels = record.channels;
    if (p.isNull.size() < p.count) p.reserve(kChunkCapacity);

    if (record.nullPoints > 0) {
        const std::vector<uint8_t>& nulls = streams_[kStreamNulls];
        if (nulls.size() != p.count) return failWith(reason, "null mask size differs");
        // Both checks without an early exit: the loop stays free of branches.
        size_t nullCount = 0;
        uint8_t flags = 0;
        for (size_t i = 0; i < p.count; ++i) {
            flags |= nulls[i];
            nullCount += nulls[i];
        }
        if (flags > 1) return failWith(reason, "bad null mask");
        if (nullCount != record.nullPoints) return failWith(reason, "null count differs");
        std::memcpy(p.isNull.data(), nulls.data(), p.count);
    } else {
        std::memset(p.isNull.data(), 0, p.count);
    }
    p.rowLength = p.firstColumn = 0;
    p.scannerSteps[0] = p.scannerSteps[1] = p.scannerSteps[2] = 0;
    return version >= 2 ? decodeSecondCoding(p, reason) : decodeFirstCoding(p, reason);
}

bool ChunkDecoder::decodeFirstCoding(ChunkPoints& p, std::string& reason) {
    const size_t n = p.valid;
    if (present_[kStreamLayout]) return failWith(reason, "unknown stream in chunk");
    const uint8_t axisIds[3] = {kStreamX, kStreamY, kStreamZ};
    for (int axis = 0; axis < 3; ++axis) {
        const uint8_t predictor = parameters_[axisIds[axis]];
        if (predictor > kPredictLinear) return failWith(reason, "unknown predictor");
        auto* values = reinterpret_cast<uint64_t*>(p.steps[axis].data());
        if (!joinField(streams_, axisIds[axis], predictor, n, values))
            return failWith(reason, "position streams disagree");
    }
    std::vector<uint64_t>& scratch = scratch_;
    scratch.resize(n);
    if (p.channels & kCloudIntensity &&
        !joinSmallField(streams_, kStreamIntensity, n, scratch.data(), p.intensity.data(), 1))
        return failWith(reason, "intensity streams disagree");
    if (p.channels & kCloudNormals &&
        (!joinSmallField(streams_, kStreamNormalU, n, scratch.data(), p.normals.data(), 2) ||
         !joinSmallField(streams_, kStreamNormalV, n, scratch.data(), p.normals.data() + 1, 2)))
        return failWith(reason, "normal streams disagree");
    if (p.channels & kCloudColour) {
        const std::vector<uint8_t>& g = streams_[kStreamGreen];
        const std::vector<uint8_t>& rg = streams_[kStreamRedMinusGreen];
        const std::vector<uint8_t>& bg = streams_[kStreamBlueMinusGreen];
        if (g.size() != n || rg.size() != n || bg.size() != n)
            return failWith(reason, "colour streams disagree");
        uint8_t value[3] = {0, 0, 0};
        for (size_t i = 0; i < n; ++i) {
            value[0] = uint8_t(value[0] + g[i]);
            value[1] = uint8_t(value[1] + rg[i]);
            value[2] = uint8_t(value[2] + bg[i]);
            uint8_t* c = &p.rgb[3 * i];
            c[0] = uint8_t(value[1] + value[0]);
            c[1] = value[0];
            c[2] = uint8_t(value[2] + value[0]);
        }
    }
    if (p.channels & kCloudClass) {
        if (streams_[kStreamClass].size() != n)
            return failWith(reason, "class stream size differs");
        std::memcpy(p.classes.data(), streams_[kStreamClass].data(), n);
    }
    return true;
}

}  // namespace nox
