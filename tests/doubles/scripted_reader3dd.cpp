// A grid reader component whose grid and answers the test sets: any method can be made to
// answer a chosen HRESULT. It counts opens, closes and live objects so tests see every path
// close what it opened.
#include <map>
#include <string>
#include <vector>

#include "component_object.h"
#include "reader3dd_interface.h"

using namespace ks_formats::com;

namespace {

struct Script {
    int32_t rows = 0, columns = 0;
    std::vector<float> positions, intensities, colours;
    std::map<std::string, HRESULT> answers;
    int opens = 0, closes = 0, live = 0;
};

Script& script() {
    static Script instance;
    return instance;
}

HRESULT answer(const char* method) {
    const auto found = script().answers.find(method);
    return found == script().answers.end() ? S_OK : found->second;
}

HRESULT fill(const std::vector<float>& source, float* target, int32_t perCell, int32_t first,
             int32_t count, int32_t* delivered) {
    const size_t begin = size_t(first) * perCell, length = size_t(count) * perCell;
    for (size_t i = 0; i < length; ++i)
        target[i] = begin + i < source.size() ? source[begin + i] : 0.0f;
    if (delivered) *delivered = count;
    return S_OK;
}

class ScriptedReader : public ComObject<IReader3DD, IID_IReader3DD> {
public:
    ScriptedReader() { ++script().live; }
    ~ScriptedReader() override { --script().live; }

    HRESULT Open(BSTR, BSTR, int32_t, int32_t, int32_t) override {
        const HRESULT r = answer("Open");
        if (r == S_OK) ++script().opens;
        return r;
    }
    HRESULT Close() override {
        ++script().closes;
        return answer("Close");
    }
    HRESULT LoadData() override { return answer("LoadData"); }
    HRESULT GetDimensions(int32_t* rows, int32_t* columns) override {
        *rows = script().rows;
        *columns = script().columns;
        return answer("GetDimensions");
    }
    HRESULT GetPoints(int32_t* delivered, float* positions, int32_t, int32_t, int32_t first,
                      int32_t count) override {
        const HRESULT r = answer("GetPoints");
        return r < 0 ? r : fill(script().positions, positions, 3, first, count, delivered);
    }
    HRESULT GetIntensities(int32_t* delivered, float* values, int32_t first,
                           int32_t count) override {
        const HRESULT r = answer("GetIntensities");
        return r < 0 ? r : fill(script().intensities, values, 1, first, count, delivered);
    }
    HRESULT GetColours(int32_t* delivered, float* colours, int32_t first, int32_t count) override {
        const HRESULT r = answer("GetColours");
        return r < 0 ? r : fill(script().colours, colours, 3, first, count, delivered);
    }
    HRESULT SetOptionA(int32_t) override { return answer("SetOptionA"); }
    HRESULT SetOptionB(int32_t) override { return answer("SetOptionB"); }
};

// Answers IUnknown only, for the "no grid interface" case.
class PlainObject : public ComObject<IUnknown, IID_IUnknown> {};

}  // namespace

extern "C" {

#define KS_EXPORT __attribute__((visibility("default")))

KS_EXPORT int32_t ksCreateComponent(const Guid*, const Guid* iid, void** out) {
    if (answer("create") == E_NOINTERFACE) return createComObject<PlainObject>(*iid, out);
    if (answer("create") < 0) return answer("create");
    return createComObject<ScriptedReader>(*iid, out);
}

KS_EXPORT void ksScriptReset(int32_t rows, int32_t columns) {
    Script& s = script();
    s = Script{};
    s.rows = rows;
    s.columns = columns;
}
KS_EXPORT void ksScriptSetCell(int32_t index, const float* xyz, float intensity, const float* rgb) {
    Script& s = script();
    const size_t cells = size_t(s.rows) * size_t(s.columns);
    s.positions.resize(cells * 3);
    s.intensities.resize(cells);
    s.colours.resize(cells * 3);
    for (int i = 0; i < 3; ++i) {
        s.positions[size_t(index) * 3 + i] = xyz[i];
        s.colours[size_t(index) * 3 + i] = rgb[i];
    }
    s.intensities[size_t(index)] = intensity;
}
KS_EXPORT void ksScriptAnswer(const char* method, int32_t result) {
    script().answers[method] = result;
}
KS_EXPORT void ksScriptStats(int* opens, int* closes, int* live) {
    *opens = script().opens;
    *closes = script().closes;
    *live = script().live;
}
}
