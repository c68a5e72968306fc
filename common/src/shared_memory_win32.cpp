// The shared block and its event on Windows: a named file mapping backed by the paging file and
// a named auto-reset event. Both live as long as some process holds a handle, so nothing is ever
// removed by name.
#include <windows.h>

#include <utility>

#include "ks_common/shared_memory.h"

namespace ks_common {
namespace {

// Object names are ASCII ("NoxFormatsProgress"); widen them unit by unit.
std::wstring wideName(const std::string& name) { return std::wstring(name.begin(), name.end()); }

void closeHandle(void* handle) {
    if (handle) CloseHandle(handle);
}

}  // namespace

SharedMemory::~SharedMemory() { closeHandle(handle_); }

SharedMemory::SharedMemory(SharedMemory&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
    if (this != &other) {
        closeHandle(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

SharedMemory SharedMemory::openExisting(const std::string& name) {
    return SharedMemory(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, wideName(name).c_str()));
}

SharedMemory SharedMemory::create(const std::string& name, size_t size) {
    const auto bytes = static_cast<unsigned long long>(size);
    return SharedMemory(CreateFileMappingW(
        INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(bytes >> 32),
        static_cast<DWORD>(bytes & 0xFFFFFFFFu), wideName(name).c_str()));
}

bool SharedMemory::remove(const std::string&) { return true; }

MappedView::~MappedView() {
    if (data_) UnmapViewOfFile(data_);
}

MappedView::MappedView(MappedView&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedView& MappedView::operator=(MappedView&& other) noexcept {
    if (this != &other) {
        if (data_) UnmapViewOfFile(data_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

MappedView MappedView::map(const SharedMemory& memory, size_t size) {
    MappedView view;
    if (!memory.isValid() || size == 0) return view;
    // The system refuses a view larger than the mapping, so a too-small block is never mapped.
    void* address = MapViewOfFile(memory.handle(), FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (!address) return view;
    view.data_ = static_cast<unsigned char*>(address);
    view.size_ = size;
    return view;
}

NamedEvent::~NamedEvent() { closeHandle(handle_); }

NamedEvent::NamedEvent(NamedEvent&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

NamedEvent& NamedEvent::operator=(NamedEvent&& other) noexcept {
    if (this != &other) {
        closeHandle(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

NamedEvent NamedEvent::openOrCreate(const std::string& name, bool initiallySignalled) {
    NamedEvent event;
    // Auto-reset: one wait consumes one signal. An existing event is opened as it is.
    event.handle_ =
        CreateEventW(nullptr, FALSE, initiallySignalled ? TRUE : FALSE, wideName(name).c_str());
    return event;
}

bool NamedEvent::remove(const std::string&) { return true; }

bool NamedEvent::signal() { return handle_ && SetEvent(handle_) != 0; }

bool NamedEvent::wait(int timeoutMs) {
    if (!handle_) return false;
    return WaitForSingleObject(handle_, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
}

}  // namespace ks_common
