#pragma once
// The one way an operation starts: the busy flag, the operation lock, the
// snapshot, the game stopped, in this order; then its body runs on the
// snapshot alone and hands back its result.

#include "engine/cache_index.h"
#include "games/game_install.h"
#include "operation.h"
#include "platform/operation_lock.h"
#include "store/settings.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tv {

// What an operation needs before it may start.
struct OperationNeeds {
    bool busy = true;        // marked working, one operation of this program at a time
    bool lock = true;        // the operation lock (one Tessvane at work on the game)
    bool gameStopped = true; // the game not running
    bool waitForLock = true; // else another Tessvane at work means "not now", unsaid

    // A dry run, a preview: neither the lock nor the game stopped.
    static OperationNeeds readsOnly() { return {.lock = false, .gameStopped = false}; }
};

// What an operation works on, taken once when it starts: a game chosen, a
// scan made or a setting changed meanwhile does not reach it.
struct OperationWork {
    GameInstall install;
    CacheFolders folders;
    Settings settings;
    int64_t today = 0; // for the dates of its records
};

class OperationRunner {
public:
    // `procRoot`: where running programs are listed (tests point it elsewhere).
    OperationRunner(std::string programFolder, std::string procRoot);

    // An operation is under way (read from any thread).
    bool busy() const { return m_running; }
    // Called when the busy flag is taken and when it is given back.
    void onRunningChanged(std::function<void()> f) { m_runningChanged = std::move(f); }
    const std::string& procRoot() const { return m_procRoot; }
    // How long an operation waits for another Tessvane's work to end before
    // it is refused (a watch does not wait: it tries again later).
    void setLockWait(std::chrono::milliseconds wait) { m_lockWait = wait; }
    // Why the game of this install may not be touched now; nullopt when it
    // is not running.
    std::optional<Refused> gameRunning(const GameInstall& install) const;

    template <class Result>
    Outcome<Result> run(const OperationNeeds& needs, const std::function<OperationWork()>& snapshot,
                        const std::function<Outcome<Result>(const OperationWork&)>& body) {
        Admission admission(*this);
        if (std::optional<Refused> no = admission.enter(needs)) return std::move(*no);
        const OperationWork work = snapshot();
        if (needs.gameStopped)
            if (std::optional<Refused> no = gameRunning(work.install)) return std::move(*no);
        return body(work);
    }

private:
    // The busy flag and the lock, held while the operation lives.
    class Admission {
    public:
        explicit Admission(OperationRunner& runner) : m_runner(runner) {}
        ~Admission();
        Admission(const Admission&) = delete;
        Admission& operator=(const Admission&) = delete;
        std::optional<Refused> enter(const OperationNeeds& needs);

    private:
        OperationRunner& m_runner;
        bool m_busy = false;
        std::optional<OperationLock> m_lock;
    };

    std::string m_programFolder;
    std::string m_procRoot;
    std::chrono::milliseconds m_lockWait = OperationLock::kDefaultWait;
    std::atomic<bool> m_running{false};
    std::function<void()> m_runningChanged;
};

} // namespace tv
