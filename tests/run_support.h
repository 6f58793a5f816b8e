#pragma once

#include "test_support.h"

#include "formats/registry_store.h"
#include "recording_prompter.h"
#include "session/session.h"
#include "store/undo_log.h"

#include <optional>
#include <string>
#include <vector>

namespace tvtest {

// A session on a fixture game, as the window holds it after start-up.
struct SessionFixture {
    GameFixture fx;
    tv::RegistryStore store{fx.registry};
    tv::RecordingPrompter prompter;
    tv::Session session{fx.program, store, prompter};
    SessionFixture() {
        session.workOnInstall(installAt(fx.game));
        session.changeSettings([&](tv::Settings& st) { st.backupCache = false; });
    }
    // Texts of the rows, with "+" in front of ticked ones.
    std::vector<std::string> rows() const {
        std::vector<std::string> out;
        for (const auto& r : session.fileList().rows())
            out.push_back((r.ticked ? "+" : "-") + r.text);
        return out;
    }
    std::vector<tv::UndoRecord> undoRecords() const {
        std::vector<tv::UndoRecord> out;
        tv::readUndoRecords(fx.program + "/tessvane.mdb", out);
        return out;
    }
    std::vector<std::string> logLines() const;

    // A Run of the ticked rows as the window starts it (a refusal shown);
    // true when it was done.
    bool run(bool dryRun = false) {
        tv::RunRequest request = session.runRequest();
        request.dryRun = dryRun;
        outcome.emplace(session.run(request));
        return did(*outcome);
    }
    // What the last run() did (nothing when it was refused).
    const tv::RunResult& ran() const {
        static const tv::RunResult none;
        return outcome && outcome->result() ? *outcome->result() : none;
    }
    std::optional<tv::Outcome<tv::RunResult>> outcome;

    // An operation's outcome as a caller takes it: a refusal shown; whether
    // it was done.
    template <class Result> bool did(const tv::Outcome<Result>& o) {
        lastExit = tv::exitStatus(o);
        return session.told(o);
    }
    // An archive loaded: how (Unreadable when it was refused).
    tv::MapArchiveInstaller::Load load(const tv::Outcome<tv::ZipLoaded>& o) {
        did(o);
        return o.done() ? o.result()->load : tv::MapArchiveInstaller::Load::Unreadable;
    }
    // The last operation taken by did() was refused for a reason to mend,
    // or failed part-way (exit status 3).
    bool failed() const { return lastExit == 3; }
    int lastExit = 0;
};

} // namespace tvtest
