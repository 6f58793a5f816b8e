#include "operation_runner.h"

#include "games/discovery.h"
#include "games/game_process.h"

namespace tv {

OperationRunner::OperationRunner(std::string programFolder, std::string procRoot)
    : m_programFolder(std::move(programFolder)), m_procRoot(std::move(procRoot)) {
}

std::optional<Refused> OperationRunner::gameRunning(const GameInstall& install) const {
    const std::string home = DiscoveryPlaces::fromEnvironment().home;
    const auto seen = installGameProcess(install, home, m_procRoot);
    if (!seen) return std::nullopt;
    return Refused{gameRunningText(install.game, *seen, home), RefusalKind::GameRunning};
}

std::optional<Refused> OperationRunner::Admission::enter(const OperationNeeds& needs) {
    if (needs.busy) {
        if (m_runner.m_running.exchange(true)) return Refused{{}, RefusalKind::Busy};
        m_busy = true;
        if (m_runner.m_runningChanged) m_runner.m_runningChanged();
    }
    if (needs.lock) {
        const auto wait = needs.waitForLock ? m_runner.m_lockWait : std::chrono::milliseconds(0);
        if (!m_lock.emplace(m_runner.m_programFolder, wait).held())
            return needs.waitForLock ? Refused{m_lock->error(), RefusalKind::Locked}
                                     : Refused{{}, RefusalKind::Busy};
    }
    return std::nullopt;
}

OperationRunner::Admission::~Admission() {
    m_lock.reset();
    if (!m_busy) return;
    m_runner.m_running = false;
    if (m_runner.m_runningChanged) m_runner.m_runningChanged();
}

} // namespace tv
