#pragma once
// Shared set-up of the simulator-link tests: own folders and log, a chosen
// simulator, the model tables, and the window updates recorded.
#include <memory>
#include <string>

#include "core/log.h"
#include "core/settings_snapshot.h"
#include "core/stop_request.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"
#include "tests/support/ui_recorder.h"

namespace kvr::test {

inline void selectSimulator(uint32_t sim)
{
    g_modeSettings.store(std::make_shared<const ModeSettings>(ModeSettings{sim, false}));
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
    }
    ~SimLinkTestBase()
    {
        gf_closeLog();
        gf_clearStopRequest();
    }
    RecordingUiSink ui;
    ScopedTestFolders folders;
};

} // namespace kvr::test
