// The C interface of the writer library: one process-wide session with its settings, meta tags,
// progress callback, last error and at most one current stream. Every entry point catches
// everything and answers a result code; the text of the last failure stays readable through
// ksioGetLastErrorW. The interface is meant for one thread at a time; the session takes no locks.
// A stream encodes its chunks on worker threads of its own (chunk_pipeline.h, KS_NOX_THREADS):
// a worker's failure is answered by the stream's next call, and closing the stream (discarded,
// replaced, built, or the session destroyed at exit) stops and joins its workers first.
// The extension functions (nox_writer_extensions.h) follow the fifteen of the interface.
#include <cmath>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "abandoned_spill_files.h"
#include "chunk_pipeline.h"
#include "ks_common/text_encoding.h"
#include "nox_stream.h"
#include "nox_writer_api.h"
#include "nox_writer_extensions.h"
#include "writer_error.h"

#if defined(_WIN32)
#define NOXWRITER_EXPORT extern "C" __declspec(dllexport)
#else
#define NOXWRITER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace noxwriter {
namespace {

struct Session {
    CloudSettings settings;
    // Tags set while no stream is open belong to every file built afterwards; setting one again
    // replaces its value.
    std::map<std::pair<uint8_t, std::string>, std::string> tags;
    std::vector<std::pair<uint8_t, std::string>> tagOrder;  // first-set order, for the file
    // Tags set while a stream is open belong to that stream's file alone, every value in the
    // order set: a file of many inputs names each of them.
    std::vector<nox::MetaTag> streamTags;
    ksioProgressCallback callback = nullptr;
    ks_common::WideString lastError;
    std::unique_ptr<NoxStream> stream;
};

Session session;

int32_t fail(int32_t code, const std::string& message) {
    try {
        session.lastError = ks_common::decodeLenientUtf8(message);
    } catch (...) {
        session.lastError.clear();  // no memory even for the message: the code still says it
    }
    return code;
}

// Runs `body`, turning every exception into a result code and a last-error text.
template <typename Body>
int32_t guarded(Body&& body) {
    try {
        body();
        return kSuccess;
    } catch (const WriterError& error) {
        return fail(error.code(), error.what());
    } catch (const std::bad_alloc&) {
        return fail(kOutOfMemory, "out of memory");
    } catch (const std::exception& error) {
        return fail(kInternalError, std::string("internal error: ") + error.what());
    } catch (...) {
        return fail(kInternalError, "internal error");
    }
}

NoxStream& currentStream() {
    if (!session.stream)
        throw WriterError(kNoStream, "no stream is open: call ksioStartStreamW first");
    return *session.stream;
}

std::string text(const ksio_char* wide, const char* what) {
    if (!wide) throw WriterError(kInvalidArgument, std::string(what) + " is null");
    return ks_common::toUtf8(wide);
}

int32_t setTag(uint8_t kind, const ksio_char* name, const ksio_char* value) {
    return guarded([&] {
        std::string key = text(name, "the tag name");
        if (key.empty()) throw WriterError(kInvalidArgument, "the tag name is empty");
        std::string content = text(value, "the tag value");
        if (session.stream) {
            session.streamTags.push_back({kind, std::move(key), std::move(content)});
            return;
        }
        auto [at, inserted] =
            session.tags.insert_or_assign({kind, std::move(key)}, std::move(content));
        if (inserted) session.tagOrder.push_back(at->first);
    });
}

// The library-wide tags that the stream did not set itself, then the stream's own.
std::vector<nox::MetaTag> tagsForFile() {
    const auto setByStream = [](const std::pair<uint8_t, std::string>& key) {
        for (const nox::MetaTag& tag : session.streamTags)
            if (tag.kind == key.first && tag.name == key.second) return true;
        return false;
    };
    std::vector<nox::MetaTag> tags;
    for (const auto& key : session.tagOrder)
        if (!setByStream(key)) tags.push_back({key.first, key.second, session.tags.at(key)});
    tags.insert(tags.end(), session.streamTags.begin(), session.streamTags.end());
    return tags;
}

void closeStream() {
    session.stream.reset();
    session.streamTags.clear();
}

}  // namespace
}  // namespace noxwriter

using namespace noxwriter;

NOXWRITER_EXPORT int32_t ksioStartStreamW(const ksio_char* path) {
    return guarded([&] {
        const std::string output = text(path, "the output path");
        if (output.empty()) throw WriterError(kInvalidArgument, "the output path is empty");
        closeStream();  // an open stream is discarded, its temporary file removed
        session.stream = std::make_unique<NoxStream>(output, formatVersionRequested());
    });
}

NOXWRITER_EXPORT int32_t ksioEndStream(void) {
    return guarded([] { currentStream().end(); });
}

NOXWRITER_EXPORT int32_t ksioDiscardStream(void) {
    return guarded([] {
        currentStream();
        closeStream();
    });
}

NOXWRITER_EXPORT int32_t ksioAddGroupW(uint32_t flags, const ksio_char* name) {
    return guarded([&] { currentStream().addGroup(flags, text(name, "the group name")); });
}

NOXWRITER_EXPORT int32_t ksioAddCloudW(uint32_t flags, const ksio_char* name, const double* matrix,
                                       int32_t rows, int32_t columns) {
    return guarded([&] {
        // Callers pass no name for an unnamed cloud; it is stored with an empty name.
        const std::string cloudName = name ? text(name, "the cloud name") : std::string();
        currentStream().addCloud(flags, cloudName, matrix, rows, columns, session.settings);
    });
}

NOXWRITER_EXPORT int32_t ksioAddPoint(const double* xyz, const uint8_t* rgb, int16_t intensity,
                                      const float* normal, uint8_t classification) {
    return guarded([&] { currentStream().addPoint(xyz, rgb, intensity, normal, classification); });
}

NOXWRITER_EXPORT int32_t ksioAddNullPoint(void) {
    return guarded([] { currentStream().addNullPoint(); });
}

NOXWRITER_EXPORT int32_t ksioSetCompressionTolerance(float tolerance) {
    return guarded([&] {
        if (std::isnan(tolerance) || std::isinf(tolerance))
            throw WriterError(kInvalidArgument, "the compression tolerance is not finite");
        // At or below zero: the finest supported step.
        session.settings.step =
            tolerance > nox::kMinimumStep ? double(tolerance) : nox::kMinimumStep;
    });
}

NOXWRITER_EXPORT int32_t ksioSetNormalQuality(int32_t quality) {
    return guarded([&] {
        if (quality < 1 || quality > 4)
            throw WriterError(kInvalidArgument, "normal quality must be 1 to 4");
        session.settings.normalReach = quality;
    });
}

NOXWRITER_EXPORT int32_t ksioBuildNOXFile(void) {
    return guarded([] {
        NoxStream& stream = currentStream();
        const ksioProgressCallback callback = session.callback;
        // The stream is gone afterwards whatever happens: built, or failed and cleaned up.
        std::unique_ptr<NoxStream> owned = std::move(session.stream);
        std::vector<nox::MetaTag> tags = tagsForFile();
        session.streamTags.clear();
        stream.build(std::move(tags), [callback](float fraction) {
            if (callback) callback(fraction);
        });
    });
}

NOXWRITER_EXPORT int32_t ksioSetProgressCallbackW(ksioProgressCallback callback) {
    session.callback = callback;
    return kSuccess;
}

NOXWRITER_EXPORT const ksio_char* ksioGetLastErrorW(void) { return session.lastError.c_str(); }

NOXWRITER_EXPORT int32_t ksioSpatialFiltering(float value, int32_t mode) {
    return guarded([&] {
        if (std::isnan(value) || std::isinf(value))
            throw WriterError(kInvalidArgument, "the filter distance is not finite");
        if (value > 0 && mode != 1)
            throw WriterError(kInvalidArgument, "spatial filtering supports mode 1 only");
        session.settings.filterSize = value > 0 ? double(value) : -1.0;
    });
}

NOXWRITER_EXPORT int32_t ksioSetUserMetaTagW(const ksio_char* name, const ksio_char* value) {
    return setTag(nox::kUserTag, name, value);
}

NOXWRITER_EXPORT int32_t ksioSetMetaTagW(const ksio_char* name, const ksio_char* value) {
    return setTag(nox::kSystemTag, name, value);
}

// Extensions (nox_writer_extensions.h): found by name by the hosts that want them; the converter
// binds none of them.

static_assert(KSIO_MAX_THREADS == kMaximumEncodingThreads);

NOXWRITER_EXPORT int32_t ksioSetThreadCount(int32_t count) {
    return guarded([&] {
        if (count < 0 || count > KSIO_MAX_THREADS)
            throw WriterError(kInvalidArgument,
                              "the thread count must be 0 (one per core, or KS_NOX_THREADS) or 1 "
                              "to " +
                                  std::to_string(KSIO_MAX_THREADS) + ", not " +
                                  std::to_string(count));
        setEncodingThreadCount(static_cast<unsigned>(count));
    });
}

NOXWRITER_EXPORT int32_t ksioRemoveAbandonedSpillFilesW(const ksio_char* folder, int32_t* removed) {
    if (removed) *removed = 0;
    return guarded([&] {
        const int count = removeAbandonedSpillFilesIn(text(folder, "the folder"));
        if (removed) *removed = count;
    });
}
