// The C interface: each function checks its arguments, turns C types into the C++ interface's
// and calls it; no exception leaves, and every refusal leaves its reason in ksf_last_error.
#include "ks_formats/ks_formats_c.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "c_api/c_batch.h"
#include "c_api/c_settings.h"
#include "c_api/c_text.h"
#include "ks_common/text_encoding.h"
#include "ks_formats/api.h"
#include "ks_formats/diagnostics.h"
#include "ks_formats/format_capabilities.h"

using namespace ks_formats;
using namespace ks_formats::c_api;

namespace {

static_assert(sizeof(WideChar) == sizeof(uint16_t), "wide text is UTF-16 on every platform");

int32_t refuse(int32_t code, std::string reason) {
    setLastError(std::move(reason));
    return code;
}

// Runs body as the boundary: whatever is thrown inside becomes failed, answered with its reason
// left for ksf_last_error.
template <typename Answer, typename Body>
Answer guarded(const char* function, Answer failed, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        setLastError(std::string(function) + ": out of memory");
    } catch (const std::exception& error) {
        setLastError(std::string(function) + ": " + error.what());
    } catch (...) {
        setLastError(std::string(function) + ": the library stopped on an unknown exception");
    }
    return failed;
}

// Like guarded, for bodies that answer a result code: a Refusal answers its own code.
template <typename Body>
int32_t boundary(const char* function, Body&& body) noexcept {
    return guarded(function, int32_t(KSF_FAILED), [&]() -> int32_t {
        try {
            return body();
        } catch (const Refusal& refusal) {
            return refuse(refusal.code, std::string(function) + ": " + refusal.what());
        }
    });
}

// For bodies that answer a size or a count: every failure answers failed.
template <typename Body>
int32_t sizeBoundary(const char* function, int32_t failed, Body&& body) noexcept {
    return guarded(function, failed, [&]() -> int32_t {
        try {
            return body();
        } catch (const Refusal& refusal) {
            return refuse(failed, std::string(function) + ": " + refusal.what());
        }
    });
}

CBatch& live(const ksf_batch* handle) {
    CBatch* batch = batchTable().find(handle);
    if (!batch)
        throw Refusal(KSF_INVALID_BATCH,
                      "the handle is no live batch (null, destroyed, or not made by "
                      "ksf_batch_create)");
    return *batch;
}

// A batch that may be changed: not while it is being converted.
CBatch& changeable(const ksf_batch* handle) {
    CBatch& batch = live(handle);
    if (batch.converting)
        throw Refusal(KSF_FAILED,
                      "the batch is being converted; change it after ksf_convert returns");
    return batch;
}

WideString textArgument(const char* text, const char* what) {
    if (!text) throw Refusal(KSF_INVALID_ARGUMENT, std::string(what) + " is null");
    std::string why;
    if (!isValidUtf8(text, why))
        throw Refusal(KSF_INVALID_ARGUMENT, std::string(what) + " is not UTF-8: " + why);
    return ks_common::decodeLenientUtf8(text);
}

WideString textArgument(const uint16_t* text, const char* what) {
    if (!text) throw Refusal(KSF_INVALID_ARGUMENT, std::string(what) + " is null");
    return WideString(reinterpret_cast<const WideChar*>(text));
}

// A change of a batch by one text argument, given in UTF-8 or UTF-16.
template <typename Unit, typename Change>
int32_t changeByText(const char* function, ksf_batch* batch, const Unit* text, const char* what,
                     Change&& change) {
    return boundary(function, [&] {
        CBatch& target = changeable(batch);
        change(target.batch(), textArgument(text, what).c_str());
        return KSF_SUCCESS;
    });
}

ScanInfo& importFile(CBatch& batch, int32_t index) {
    auto* scan = static_cast<ScanInfo*>(
        index < 0 ? nullptr : batch.batch()._getScanInfo(static_cast<unsigned>(index)));
    if (!scan)
        throw Refusal(KSF_INVALID_ARGUMENT,
                      "import file " + std::to_string(index) + " does not exist (the batch has " +
                          std::to_string(batch.batch().numImportFiles()) + ")");
    return *scan;
}

// The point filter of the conversion running now: the C++ filter carries no context, and one
// conversion runs at a time.
std::atomic<const CBatch*> filtering{nullptr};

bool filterTrampoline(double* xyz, uint8_t* rgb, int16_t& intensity, float* normal,
                      uint8_t& classification) {
    const CBatch* batch = filtering.load();
    return !batch || batch->filterPoint(xyz, rgb, intensity, normal, classification);
}

int32_t fromProject(const char* function, ksf_batch* batch, const WideString& path) {
    CBatch& target = changeable(batch);
    if (CreateBatchFromProject(&target.batch(), path.c_str()) == ResultSuccess) return KSF_SUCCESS;
    return refuse(KSF_FAILED, std::string(function) + ": " + ks_common::toUtf8(path.c_str()) +
                                  " is no readable project");
}

const WideChar* exportedName(const ksf_batch* batch, int32_t index) {
    const WideChar* name = live(batch).batch().getExportedFilenameW(index);
    if (!name)
        throw Refusal(KSF_INVALID_ARGUMENT,
                      "exported file " + std::to_string(index) + " does not exist");
    return name;
}

// The capability table's texts of each format, copied once: the C records point at them.
struct FormatTexts {
    std::string name;
    std::string extension;
    int32_t infoFlag1 = 0;
    int32_t infoFlag2 = 0;
};

const FormatTexts* formatTexts(int32_t id) {
    static const auto table = [] {
        std::array<std::unique_ptr<FormatTexts>, FormatCapabilitiesManager::kFormatSlots> texts;
        for (int32_t format = 0; format < int32_t(texts.size()); ++format) {
            char name[1024] = {};
            char extension[4] = {};
            bool flag1 = false, flag2 = false;
            if (GetFormatInfo(FormatID(format), name, extension, &flag1, &flag2))
                texts[size_t(format)].reset(new FormatTexts{name, extension, flag1, flag2});
        }
        return texts;
    }();
    return id >= 0 && id < int32_t(table.size()) ? table[size_t(id)].get() : nullptr;
}

ksf_format_parameter describeParameter(const FormatParameterI& parameter) {
    ksf_format_parameter out{parameter.getID(),
                             parameter.getType(),
                             parameter.getGroup1(),
                             parameter.getGroup2(),
                             0,
                             0.0,
                             0.0,
                             0.0};
    const auto take = [&](auto value, auto minimum, auto maximum) {
        if (!parameter.getValueInfo(value, minimum, maximum)) return;
        out.has_value = 1;
        out.value = double(value);
        out.minimum = double(minimum);
        out.maximum = double(maximum);
    };
    switch (parameter.getType()) {
        case ParamTypeLong:
            take(long(0), long(0), long(0));
            break;
        case ParamTypeFloat:
            take(0.0f, 0.0f, 0.0f);
            break;
        case ParamTypeDouble:
            take(0.0, 0.0, 0.0);
            break;
        case ParamTypeBool:
            take(false, false, false);
            break;
        default:
            break;
    }
    return out;
}

}  // namespace

extern "C" {

const char* ksf_last_error(void) { return lastError(); }

const char* ksf_version(void) { return KS_LIBRARY_VERSION; }

int32_t ksf_interface_version(void) { return KSF_INTERFACE_VERSION; }

int32_t ksf_initialize(void) {
    return boundary("ksf_initialize", [] {
        if (Initialize() == ResultSuccess) return KSF_SUCCESS;
        return refuse(KSF_FAILED, "ksf_initialize: the writer library cannot be loaded or bound");
    });
}

int32_t ksf_enable_nox_input(const char* library_utf8) {
    return boundary("ksf_enable_nox_input", [&] {
        WideString path;
        if (library_utf8) path = textArgument(library_utf8, "the library path");
        if (EnableNOXInput(library_utf8 ? path.c_str() : nullptr) == ResultSuccess)
            return KSF_SUCCESS;
        return refuse(KSF_FAILED, "ksf_enable_nox_input: the viewer library cannot be bound");
    });
}

ksf_batch* ksf_batch_create(const char* creator_utf8) {
    return guarded("ksf_batch_create", static_cast<ksf_batch*>(nullptr), [&]() -> ksf_batch* {
        std::string why;
        if (creator_utf8 && !isValidUtf8(creator_utf8, why)) {
            setLastError("ksf_batch_create: the creator is not UTF-8: " + why);
            return nullptr;
        }
        const WideString creator = ks_common::decodeLenientUtf8(creator_utf8 ? creator_utf8 : "");
        CBatch* batch = batchTable().create(creator.c_str());
        if (!batch) setLastError("ksf_batch_create: out of memory");
        return batch ? batch->handle() : nullptr;
    });
}

void ksf_batch_destroy(ksf_batch* batch) {
    guarded("ksf_batch_destroy", 0, [&] {
        batchTable().destroy(batch);
        return 0;
    });
}

int32_t ksf_batch_set(ksf_batch* batch, int32_t setting, double value) {
    return boundary("ksf_batch_set", [&] {
        setSetting(changeable(batch), setting, value);
        return KSF_SUCCESS;
    });
}

int32_t ksf_batch_get(const ksf_batch* batch, int32_t setting, double* value) {
    return boundary("ksf_batch_get", [&] {
        if (!value) throw Refusal(KSF_INVALID_ARGUMENT, "value is null");
        *value = getSetting(live(batch), setting);
        return KSF_SUCCESS;
    });
}

int32_t ksf_batch_set_formats_folder(ksf_batch* batch, const char* folder_utf8) {
    return changeByText(
        "ksf_batch_set_formats_folder", batch, folder_utf8, "the folder",
        [](ImportBatch& target, const WideChar* text) { target.set32BitNoxFormatsFolder(text); });
}

int32_t ksf_batch_add_import_file(ksf_batch* batch, const char* path_utf8) {
    return changeByText(
        "ksf_batch_add_import_file", batch, path_utf8, "the path",
        [](ImportBatch& target, const WideChar* text) { target.addImportFile(text); });
}

int32_t ksf_batch_add_import_file_w(ksf_batch* batch, const uint16_t* path) {
    return changeByText(
        "ksf_batch_add_import_file_w", batch, path, "the path",
        [](ImportBatch& target, const WideChar* text) { target.addImportFile(text); });
}

int32_t ksf_batch_add_search_path(ksf_batch* batch, const char* path_utf8) {
    return changeByText(
        "ksf_batch_add_search_path", batch, path_utf8, "the path",
        [](ImportBatch& target, const WideChar* text) { target.addSearchPath(text); });
}

int32_t ksf_batch_add_search_path_w(ksf_batch* batch, const uint16_t* path) {
    return changeByText(
        "ksf_batch_add_search_path_w", batch, path, "the path",
        [](ImportBatch& target, const WideChar* text) { target.addSearchPath(text); });
}

int32_t ksf_batch_remove_import_files(ksf_batch* batch) {
    return boundary("ksf_batch_remove_import_files", [&] {
        changeable(batch).batch().removeImportFiles();
        return KSF_SUCCESS;
    });
}

int32_t ksf_batch_import_count(const ksf_batch* batch) {
    return sizeBoundary("ksf_batch_import_count", -1,
                        [&] { return int32_t(live(batch).batch().numImportFiles()); });
}

int32_t ksf_batch_import_name(const ksf_batch* batch, int32_t index, char* buffer,
                              int32_t capacity) {
    return sizeBoundary("ksf_batch_import_name", 0, [&] {
        CBatch& source = live(batch);
        const std::string name = ks_common::toUtf8(importFile(source, index).getFilename());
        return copyText(name, buffer, capacity);
    });
}

int32_t ksf_batch_set_included(ksf_batch* batch, int32_t index, int32_t on) {
    return boundary("ksf_batch_set_included", [&] {
        importFile(changeable(batch), index).setIncluded(on != 0);
        return KSF_SUCCESS;
    });
}

int32_t ksf_batch_set_matrix(ksf_batch* batch, int32_t index, const double matrix[16]) {
    return boundary("ksf_batch_set_matrix", [&] {
        ScanInfo& scan = importFile(changeable(batch), index);
        if (!matrix) throw Refusal(KSF_INVALID_ARGUMENT, "the matrix is null");
        Matrix4d placement;
        std::memcpy(placement.m, matrix, sizeof placement.m);
        scan.setMatrix(placement);
        return KSF_SUCCESS;
    });
}

int32_t ksf_batch_get_matrix(const ksf_batch* batch, int32_t index, double matrix[16]) {
    return boundary("ksf_batch_get_matrix", [&] {
        const ScanInfo& scan = importFile(live(batch), index);
        if (!matrix) throw Refusal(KSF_INVALID_ARGUMENT, "the matrix is null");
        std::memcpy(matrix, scan.getMatrix()->m, sizeof scan.getMatrix()->m);
        return KSF_SUCCESS;
    });
}

int32_t ksf_batch_set_output(ksf_batch* batch, const char* path_utf8) {
    return changeByText(
        "ksf_batch_set_output", batch, path_utf8, "the output",
        [](ImportBatch& target, const WideChar* text) { target.setOutputFilename(text); });
}

int32_t ksf_batch_set_output_w(ksf_batch* batch, const uint16_t* path) {
    return changeByText(
        "ksf_batch_set_output_w", batch, path, "the output",
        [](ImportBatch& target, const WideChar* text) { target.setOutputFilename(text); });
}

int32_t ksf_create_batch_from_project(ksf_batch* batch, const char* path_utf8) {
    return boundary("ksf_create_batch_from_project", [&] {
        return fromProject("ksf_create_batch_from_project", batch,
                           textArgument(path_utf8, "the project path"));
    });
}

int32_t ksf_create_batch_from_project_w(ksf_batch* batch, const uint16_t* path) {
    return boundary("ksf_create_batch_from_project_w", [&] {
        return fromProject("ksf_create_batch_from_project_w", batch,
                           textArgument(path, "the project path"));
    });
}

int32_t ksf_batch_set_feedback(ksf_batch* batch, const ksf_feedback* feedback) {
    return boundary("ksf_batch_set_feedback", [&] {
        changeable(batch).setFeedback(feedback);
        return KSF_SUCCESS;
    });
}

int32_t ksf_batch_set_point_filter(ksf_batch* batch, ksf_point_filter filter, void* user) {
    return boundary("ksf_batch_set_point_filter", [&] {
        CBatch& target = changeable(batch);
        target.setPointFilter(filter, user);
        if (filter)
            target.batch().setPointsFilterCallback(&filterTrampoline);
        else
            target.batch().removePointsFilterCallback();
        return KSF_SUCCESS;
    });
}

int32_t ksf_convert(ksf_batch* batch) {
    return boundary("ksf_convert", [&]() -> int32_t {
        CBatch& target = changeable(batch);
        if (!batchTable().beginConversion(target))
            throw Refusal(KSF_FAILED,
                          "another conversion runs in this process; the library converts one "
                          "batch at a time");
        // Ended on every path, a host's callback throwing through included.
        struct End {
            CBatch& batch;
            ~End() {
                filtering.store(nullptr);
                batchTable().endConversion(batch);
            }
        } end{target};
        target.forgetTexts();
        filtering.store(&target);
        const Result result = ConvertBatchToNOX(&target.batch());
        if (result != ResultSuccess) {
            const int failures = GetNumFailures(&target.batch());
            setLastError(failures > 0 ? "ksf_convert: " + target.failureTexts(failures - 1).second
                                      : "ksf_convert: the conversion failed with result " +
                                            std::to_string(int(result)));
        }
        return result;
    });
}

int32_t ksf_cancel(ksf_batch* batch) {
    return boundary("ksf_cancel", [&] {
        if (!batchTable().cancel(batch))
            throw Refusal(KSF_INVALID_BATCH, "the handle is no live batch");
        return KSF_CANCELLED;
    });
}

int32_t ksf_batch_exported_count(const ksf_batch* batch) {
    return sizeBoundary("ksf_batch_exported_count", -1,
                        [&] { return int32_t(live(batch).batch().numExportedFiles()); });
}

int32_t ksf_batch_exported_name(const ksf_batch* batch, int32_t index, char* buffer,
                                int32_t capacity) {
    return sizeBoundary("ksf_batch_exported_name", 0, [&] {
        return copyText(ks_common::toUtf8(exportedName(batch, index)), buffer, capacity);
    });
}

int32_t ksf_batch_exported_name_w(const ksf_batch* batch, int32_t index, uint16_t* buffer,
                                  int32_t capacity) {
    return sizeBoundary("ksf_batch_exported_name_w", 0, [&] {
        return copyText(ks_common::wideView(exportedName(batch, index)), buffer, capacity);
    });
}

int32_t ksf_batch_failure_count(const ksf_batch* batch) {
    return sizeBoundary("ksf_batch_failure_count", -1,
                        [&] { return int32_t(GetNumFailures(&live(batch).batch())); });
}

int32_t ksf_batch_failure(const ksf_batch* batch, int32_t index, ksf_failure* failure) {
    return boundary("ksf_batch_failure", [&] {
        const CBatch& source = live(batch);
        if (!failure) throw Refusal(KSF_INVALID_ARGUMENT, "failure is null");
        FailureInfo info;
        if (!GetFailure(&source.batch(), index, &info))
            throw Refusal(KSF_INVALID_ARGUMENT,
                          "failure " + std::to_string(index) + " does not exist");
        const auto& texts = source.failureTexts(index);
        *failure = {info.fileIndex, info.result, info.phase, texts.first.c_str(),
                    texts.second.c_str()};
        return KSF_SUCCESS;
    });
}

int32_t ksf_batch_skipped_count(const ksf_batch* batch) {
    return sizeBoundary("ksf_batch_skipped_count", -1,
                        [&] { return int32_t(GetNumSkippedInputs(&live(batch).batch())); });
}

int32_t ksf_batch_skipped(const ksf_batch* batch, int32_t index, ksf_skipped_input* input) {
    return boundary("ksf_batch_skipped", [&] {
        const CBatch& source = live(batch);
        if (!input) throw Refusal(KSF_INVALID_ARGUMENT, "input is null");
        SkippedInput skipped;
        if (!GetSkippedInput(&source.batch(), index, &skipped))
            throw Refusal(KSF_INVALID_ARGUMENT,
                          "skipped input " + std::to_string(index) + " does not exist");
        const auto& texts = source.skipTexts(index);
        *input = {skipped.fileIndex, skipped.cause, texts.first.c_str(), texts.second.c_str()};
        return KSF_SUCCESS;
    });
}

int32_t ksf_input_format_count(void) {
    return boundary("ksf_input_format_count", [] { return int32_t(NumSupportedFormats()); });
}

int32_t ksf_input_format_id(int32_t index) {
    return boundary("ksf_input_format_id", [&] { return int32_t(GetFormatID(index)); });
}

int32_t ksf_format_info_of(int32_t format_id, ksf_format_info* info) {
    return boundary("ksf_format_info_of", [&] {
        if (!info) throw Refusal(KSF_INVALID_ARGUMENT, "info is null");
        const FormatTexts* texts = formatTexts(format_id);
        if (!texts)
            throw Refusal(KSF_INVALID_ARGUMENT,
                          "format " + std::to_string(format_id) + " is not in the table");
        const auto id = FormatID(format_id);
        *info = {format_id,
                 texts->name.c_str(),
                 texts->extension.c_str(),
                 texts->infoFlag1,
                 texts->infoFlag2,
                 GetFormatExposable(id) ? 1 : 0,
                 GetNumSupportedFormatParameters(id)};
        return KSF_SUCCESS;
    });
}

int32_t ksf_format_parameter_at(int32_t format_id, int32_t index, ksf_format_parameter* parameter) {
    return boundary("ksf_format_parameter_at", [&] {
        if (!parameter) throw Refusal(KSF_INVALID_ARGUMENT, "parameter is null");
        const FormatParameterI* found = GetSupportedFormatParameter(FormatID(format_id), index);
        if (!found)
            throw Refusal(KSF_INVALID_ARGUMENT, "format " + std::to_string(format_id) +
                                                    " has no parameter " + std::to_string(index));
        *parameter = describeParameter(*found);
        return KSF_SUCCESS;
    });
}

}  // extern "C"
