#pragma once

#include "test_support.h"

#include "formats/registry_store.h"
#include "recording_prompter.h"
#include "session/session.h"
#include "store/undo_log.h"

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
        session.settings().backupCache = false;
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
};

} // namespace tvtest
