// Until the main task has its start-up and loop it only waits for a stop
// request and then lets the window end the process.
#include "app/main_task.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/gui.h"
#include "app/stop_request.h"

namespace {
std::atomic<bool> commandLineJob{false};
std::atomic<int> processExitCode{0};
} // namespace

void gf_setCommandLineJob(bool on) { commandLineJob = on; }
bool gf_isCommandLineJob() { return commandLineJob; }
int gf_processExitCode() { return processExitCode; }

void lf_main()
{
    while (gf_keepRunning())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (HWND w = Gui::instance().hwnd.load())
        PostMessageW(w, MSG_EXIT, 0, 0);
}
