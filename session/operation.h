#pragma once
// What an operation hands back: either why it did not start (Refused) or
// what it did (its result), as one value.

#include <string>
#include <utility>
#include <variant>

namespace tv {

// Why an operation did not start.
enum class RefusalKind {
    Busy,         // another operation of this program is under way (unsaid)
    Locked,       // another Tessvane is at work on the game, or the lock cannot be had
    GameRunning,  // the game may be writing its files
    Invalid,      // the request itself cannot be carried out (nothing chosen, a wrong folder)
    Unavailable,  // what it needs cannot be used (the undo log, Cache.ini unreadable)
    NothingThere, // what it works on is not there (no Cache.ini, an empty cache)
    Declined,     // the user answered No
    Stopped,      // asked to stop before it touched anything
};

struct Refused {
    Refused(std::string why, RefusalKind k, std::string messageTitle = {})
        : reason(std::move(why)), kind(k), title(std::move(messageTitle)) {}
    std::string reason; // the message for the user (empty: nothing to say)
    RefusalKind kind;
    std::string title; // of the message, when not the program's name
};

// Refused{...} or Done{result}.
template <class Result> class Outcome {
public:
    Outcome(Refused refused) : m_value(std::move(refused)) {}
    Outcome(Result result) : m_value(std::move(result)) {}

    bool done() const { return std::holds_alternative<Result>(m_value); }
    const Result* result() const { return std::get_if<Result>(&m_value); }
    const Refused* refused() const { return std::get_if<Refused>(&m_value); }

private:
    std::variant<Refused, Result> m_value;
};

// The exit status of a command for an outcome: 0 done, 1 nothing done (a
// request without effect, another operation of this program under way), 3
// refused for a reason the user must mend or failed part-way. A result
// says failed() and, where it may do nothing, nothingDone().
inline int exitStatusOf(const Refused& r) {
    switch (r.kind) {
    case RefusalKind::Locked:
    case RefusalKind::GameRunning:
    case RefusalKind::Unavailable:
        return 3;
    default:
        return 1;
    }
}

// What an operation that only works or fails did.
struct Completed {
    bool someFailed = false;
    bool failed() const { return someFailed; }
};

template <class Result> int exitStatus(const Outcome<Result>& outcome) {
    if (const Refused* r = outcome.refused()) return exitStatusOf(*r);
    const Result& result = *outcome.result();
    if (result.failed()) return 3;
    if constexpr (requires { result.nothingDone(); })
        if (result.nothingDone()) return 1;
    return 0;
}

} // namespace tv
