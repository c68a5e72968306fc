#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <utility>

#include "ks_common/shared_memory.h"

namespace ks_common {
namespace {

std::string objectName(const std::string& name) { return "/" + name; }

}  // namespace

SharedMemory::~SharedMemory() {
    if (fd_ >= 0) close(fd_);
}

SharedMemory::SharedMemory(SharedMemory&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

SharedMemory SharedMemory::openExisting(const std::string& name) {
    return SharedMemory(shm_open(objectName(name).c_str(), O_RDWR | O_CLOEXEC, 0));
}

SharedMemory SharedMemory::create(const std::string& name, size_t size) {
    const int fd = shm_open(objectName(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return SharedMemory();
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        close(fd);
        return SharedMemory();
    }
    return SharedMemory(fd);
}

bool SharedMemory::remove(const std::string& name) {
    return shm_unlink(objectName(name).c_str()) == 0;
}

MappedView::~MappedView() {
    if (data_) munmap(data_, size_);
}

MappedView::MappedView(MappedView&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedView& MappedView::operator=(MappedView&& other) noexcept {
    if (this != &other) {
        if (data_) munmap(data_, size_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

MappedView MappedView::map(const SharedMemory& memory, size_t size) {
    MappedView view;
    if (!memory.isValid() || size == 0) return view;
    // A mapping larger than the object would fault on access: refuse a too-small object.
    struct stat info {};
    if (fstat(memory.descriptor(), &info) != 0 || static_cast<size_t>(info.st_size) < size)
        return view;
    void* address = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, memory.descriptor(), 0);
    if (address == MAP_FAILED) return view;
    view.data_ = static_cast<unsigned char*>(address);
    view.size_ = size;
    return view;
}

NamedEvent::~NamedEvent() {
    if (handle_) sem_close(static_cast<sem_t*>(handle_));
}

NamedEvent::NamedEvent(NamedEvent&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

NamedEvent& NamedEvent::operator=(NamedEvent&& other) noexcept {
    if (this != &other) {
        if (handle_) sem_close(static_cast<sem_t*>(handle_));
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

NamedEvent NamedEvent::openOrCreate(const std::string& name, bool initiallySignalled) {
    NamedEvent event;
    sem_t* sem = sem_open(objectName(name).c_str(), O_CREAT, 0600, initiallySignalled ? 1u : 0u);
    if (sem != SEM_FAILED) event.handle_ = sem;
    return event;
}

bool NamedEvent::remove(const std::string& name) {
    return sem_unlink(objectName(name).c_str()) == 0;
}

bool NamedEvent::signal() { return handle_ && sem_post(static_cast<sem_t*>(handle_)) == 0; }

bool NamedEvent::wait(int timeoutMs) {
    if (!handle_) return false;
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    int rc;
    do {
        rc = sem_timedwait(static_cast<sem_t*>(handle_), &deadline);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

}  // namespace ks_common
