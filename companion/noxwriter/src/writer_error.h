#pragma once
// Result codes of the writer library (1 is success; the converter's own codes stay below 20)
// and the exception that carries one from deep inside to the C interface.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace noxwriter {

enum ResultCode : int32_t {
    kSuccess = 1,
    kNoStream = 20,            // a call that needs an open stream came without one
    kNoGroup = 21,             // a cloud came before any group
    kNoCloud = 22,             // a point came before any cloud
    kInvalidArgument = 23,     // null pointer, bad grid size, non-finite or out-of-range value
    kCannotCreateOutput = 24,  // the output folder is missing or not writable
    kWriteFailed = 25,         // the disk refused data (full, quota, I/O error)
    kOutOfMemory = 26,
    kStreamEnded = 27,  // groups, clouds or points after ksioEndStream
    kGridFull = 28,     // more points than rows x columns
    kInternalError = 29,
};

class WriterError : public std::runtime_error {
public:
    WriterError(ResultCode code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
    ResultCode code() const { return code_; }

private:
    ResultCode code_;
};

}  // namespace noxwriter
