#include "library.h"

#include "platform/dates.h"
#include "session.h"
#include "session_internal.h"
#include "store/stock_seen.h"
#include "ui/prompter.h"

namespace tv {

LibrarySources PackageLibrary::sources() const {
    LibrarySources s;
    s.install = m_session.install();
    s.folders = m_session.folders();
    m_session.undoRecords(s.moves);
    s.installations = m_session.installations();
    s.stockSeen = readStockSeen(stockSeenPath(m_session.programFolder()), s.install.gameFolder);
    return s;
}

std::vector<LibraryEntry> PackageLibrary::read(const std::function<bool()>& stop) const {
    const LibrarySources s = sources();
    std::vector<LibraryEntry> entries = listLibrary(s);
    readLibraryFacts(entries, s, stop);
    rememberStock(s, entries);
    return entries;
}

void PackageLibrary::rememberStock(const LibrarySources& s,
                                   const std::vector<LibraryEntry>& entries) const {
    // Only what was read: a library stopped early keeps what it saw.
    std::string error;
    if (!rememberStockSeen(stockSeenPath(m_session.programFolder()), s.install.gameFolder,
                           stockGuids(entries), &error))
        m_session.addStatusLine("**ERROR** The stock packages seen cannot be kept: " + error);
}

std::vector<std::string> planLines(const RemovalPlan& plan) {
    std::vector<std::string> out;
    for (const auto& item : plan.items)
        out.push_back(item.path + " (" + item.why + ")");
    for (const auto& no : plan.refused)
        out.push_back("Not removed: " + no);
    return out;
}

std::optional<Refused> PackageLibrary::confirm(const RemoveRequest& request) {
    std::optional<Refused> no;
    std::string text;
    for (const auto& line : planLines(request.plan))
        text += line + "\n";
    if (request.plan.empty()) {
        no = Refused{"Nothing can be removed.\n\n" + text, RefusalKind::Invalid};
    } else {
        text += request.deleteFiles
                    ? "\nThese files will be deleted. A deleted file cannot be put back."
                    : "\nThese files go back into the cache, where the game still finds them as "
                      "downloads; Undo puts them back.";
        if (!m_prompter.question("Remove these files from the game?\n\n" + text, "Remove Packages"))
            no = Refused{{}, RefusalKind::Declined};
    }
    if (no) m_session.tell(*no);
    return no;
}

Outcome<RemovalResult> PackageLibrary::remove(const RemoveRequest& request) {
    if (request.plan.empty()) return Refused{{}, RefusalKind::NothingThere};
    Outcome<RemovalResult> out = m_session.operate<RemovalResult>(
        OperationNeeds{}, [&](const OperationWork& work) -> Outcome<RemovalResult> {
            UndoLog undo;
            if (auto no =
                    openUndoForWriting(undo, m_session.undoDatabase(), "Nothing was removed."))
                return *no;
            m_session.setStatusText("Removing packages...");
            RemovalResult r =
                carryOutRemoval(undo, request.plan, work.folders, shortDate(work.today),
                                request.deleteFiles, m_session.workSink());
            if (!undo.commit()) {
                r.failures.push_back("the undo log " + undo.lastError());
                m_session.addStatusLine("**ERROR** The undo log " + m_session.undoDatabase() + " " +
                                        undo.lastError());
            }
            m_session.setStatusText(r.failed() ? "Done, with errors (see the Status tab)"
                                               : std::to_string(r.removed) + " file(s) removed");
            return r;
        });
    if (out.done()) m_session.ScanCache();
    return out;
}

std::vector<Removal> PackageLibrary::removals() const {
    std::vector<Removal> out;
    UndoLog undo;
    if (undo.open(m_session.undoDatabase())) undo.removals(out);
    return out;
}

Outcome<PutBackResult> PackageLibrary::putBack(const std::vector<std::string>& paths) {
    if (paths.empty()) return Refused{{}, RefusalKind::NothingThere};
    Outcome<PutBackResult> out = m_session.operate<PutBackResult>(
        OperationNeeds{}, [&](const OperationWork& work) -> Outcome<PutBackResult> {
            UndoLog undo;
            if (auto no =
                    openUndoForWriting(undo, m_session.undoDatabase(), "Nothing was put back."))
                return *no;
            m_session.setStatusText("Putting removed files back...");
            PutBackResult r = putBackRemoved(undo, paths, work.folders, m_session.workSink());
            if (!undo.commit()) r.failures.push_back("the undo log " + undo.lastError());
            m_session.setStatusText(r.failed() ? "Done, with errors (see the Status tab)"
                                               : std::to_string(r.putBack) + " file(s) put back");
            return r;
        });
    if (out.done()) m_session.ScanCache();
    return out;
}

} // namespace tv
