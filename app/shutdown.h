// The end of every run of the main task: worker threads stopped and joined in
// a fixed order, the network released, the engine and the airport cleaned up,
// then one decision from the published stop request: an in-process restart
// (MSG_START after a countdown and a re-initialisation) or MSG_EXIT.
#pragma once

#include <atomic>
#include <cstdint>

// Set when the run ends in a restart; the next start skips the update check.
extern std::atomic<bool> restartFlag;
// Steady-clock ns until which a new RT Direct session must wait; 0 = none.
extern std::atomic<int64_t> rtApiCooldownDeadline;

// The clean-up; never throws.
void lf_closingDown();
// The countdown before a restart; true to go on with it.
bool lf_restartCountdown(int32_t seconds);
// Posts MSG_START (restart) or MSG_EXIT to the main window.
void lf_postRestartOrExit();
// Marks the end of an RT Direct session: 3 s in this process, and the time
// in LAST_EPOCH_TIME: for the next process.
void lf_markRTApiCooldown();
// How long the code-8 error stays readable before the program ends.
inline constexpr int64_t kSystemErrorWaitSeconds = 25;
