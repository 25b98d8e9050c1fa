#pragma once
// Shared set-up of the simulator-link tests: own folders and log, a chosen
// simulator, the model tables, and the window's display state after the
// queued updates were applied.
#include <memory>
#include <string>

#include "app/gui.h"
#include "app/stop_request.h"
#include "core/log.h"
#include "core/settings_snapshot.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace kvr::test {

inline void selectSimulator(uint32_t sim)
{
    g_modeSettings.store(std::make_shared<const ModeSettings>(ModeSettings{sim, false}));
}

// Applies every queued window update and returns what the window shows.
inline const GuiDisplayState& guiAfterUpdates()
{
    Gui::instance().drainUpdates();
    return Gui::instance().display;
}

// Log.txt as written so far.
inline std::string flushedLog()
{
    gf_flushLog();
    return logText();
}

class SimLinkTestBase {
public:
    explicit SimLinkTestBase(const std::string& tag) : folders(tag)
    {
        gf_openLog();
        gf_clearStopRequest();
        selectSimulator(1);
        Gui::instance().drainUpdates();
        Gui::instance().display = GuiDisplayState{};
    }
    ~SimLinkTestBase()
    {
        gf_closeLog();
        gf_clearStopRequest();
    }
    ScopedTestFolders folders;
};

} // namespace kvr::test
