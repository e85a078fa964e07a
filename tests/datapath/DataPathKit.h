#pragma once

// What the data-path tests share: file helpers and a fresh program folder.

#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/EngineState.h"
#include "engine/WaitCauses.h"

#include "FileKit.h"

using namespace filekit;

// A temporary root holding the program folder "prog", with default settings,
// English texts and a clean engine state.
struct ProgramFolder {
    QTemporaryDir root;
    const QString prog = root.filePath("prog");

    ProgramFolder() {
        QDir().mkdir(prog);
        config::setProgramFolder(prog);
        config::setLanguage(0);
        config::settings() = config::Settings{};
        engine::state() = engine::EngineState{};
        engine::waitCauses().reset();
    }
};
