#pragma once

// Why a host kit call did not do what it was asked: a kind, which each host maps to its own
// answers (noxconvert to its exit codes, the Python module to its exception classes), and the
// words a person reads. Nothing has to be read back out of the words.
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace hostkit {

enum class RefusalKind {
    BadRequest,  // the request itself is wrong: a folder given as input, an output for another mode
    Unsupported,  // an input of a kind that nothing converts
    Missing,      // a named input or file does not exist, or a pattern finds nothing (subject)
    Unreadable,   // an input exists but cannot be read: a project, a NOX file
    Unavailable,  // the writer library in use lacks what was asked of it
    Failed,       // anything else: the system or a library refused
};

struct Refusal {
    RefusalKind kind = RefusalKind::Failed;
    std::string reason;   // a whole message, without the program's name
    std::string subject;  // the file or pattern it is about, when there is one
};

// A value, or the refusals given in its place (at least one, in the order they were found).
template <typename T>
class Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Refusal refusal) { refusals_.push_back(std::move(refusal)); }
    explicit Result(std::vector<Refusal> refusals) : refusals_(std::move(refusals)) {
        if (refusals_.empty())
            refusals_.push_back({RefusalKind::Failed, "refused without a reason", {}});
    }

    explicit operator bool() const { return value_.has_value(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }

    // Empty while there is a value.
    const std::vector<Refusal>& refusals() const { return refusals_; }
    // The first refusal; only when there is no value.
    const Refusal& refusal() const { return refusals_.front(); }

private:
    std::optional<T> value_;
    std::vector<Refusal> refusals_;
};

}  // namespace hostkit
