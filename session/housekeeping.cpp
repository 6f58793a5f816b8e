#include "housekeeping.h"

#include "platform/text_util.h"
#include "store/purge.h"
#include "ui/prompter.h"

namespace tv {

Housekeeping::Housekeeping(std::string programFolder, Prompter& prompter)
    : m_programFolder(std::move(programFolder)), m_prompter(prompter) {
}

std::string Housekeeping::readPurgeDays(const std::string& gameIni, bool dryRun) {
    std::string raised;
    m_purgeDays = dryRun ? purgeSettingText(gameIni)
                         : checkPurgeSetting(gameIni, noticesTo(m_prompter), &raised);
    return raised;
}

bool Housekeeping::setPurgeDays(const std::string& gameIni) {
    const std::string days = trim(m_purgeDays);
    if (!purgeDaysValid(days)) {
        m_prompter.message(purgePeriodRefusal(m_purgeDays));
        return false;
    }
    if (!SetPurgeDays(days, gameIni, noticesTo(m_prompter))) return false;
    // Written as asked; the next scan would not keep it.
    if (days != "0" && std::stoi(days) <= 30)
        m_prompter.message("PurgeCacheDays is now " + days +
                           ". The next scan raises a period of 30 days or less to 360 days, "
                           "so that the game does not delete downloads before they are moved.");
    return true;
}

std::optional<std::string> Housekeeping::purgePeriodProblem(const std::string& days) {
    if (purgeDaysValid(days)) return std::nullopt;
    return purgePeriodRefusal(days);
}

int Housekeeping::entriesToPurge(const GameInstall& install) {
    return countPurgeEntries(m_programFolder, install, noticesTo(m_prompter));
}

PurgeResult Housekeeping::purge(const GameInstall& install,
                                const std::function<void(const std::string&)>& statusLine) {
    return PurgeAllCacheFiles(m_programFolder, install, noticesTo(m_prompter), statusLine);
}

bool Housekeeping::deleteTempFiles(const std::string& userFolder) {
    return DeleteTempFiles(userFolder, noticesTo(m_prompter));
}

} // namespace tv
