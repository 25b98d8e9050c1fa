// The main task: the thread that runs start-up, the traffic loop and the
// shutdown. The window procedure starts it on MSG_START and joins it on
// MSG_EXIT or before a restart.
#pragma once

#include "app/gui.h" // MSG_GUI_UPDATE

// Application window messages, all posted, never sent.
constexpr unsigned MSG_START = 0x8001;       // WM_APP + 1
constexpr unsigned MSG_EXIT = 0x8002;        // WM_APP + 2
constexpr unsigned MSG_SWITCH_SIM = 0x8064;  // WM_APP + 100

// The thread body.
void lf_main();

// The command-line job flag ("--production"), published by the window start-up.
void gf_setCommandLineJob(bool on);
bool gf_isCommandLineJob();

// The exit code the window passes to PostQuitMessage on MSG_EXIT.
int gf_processExitCode();

// The start-up steps, in the order the thread body runs them.
bool lf_readSettingsAndDataFiles();
bool lf_askForInstallPath();
void lf_createFolders();
void lf_runCommandLineJob();
bool lf_startSimClient();
bool lf_waitForUserAircraft();
bool lf_startRTApp();
bool lf_startRTDirect();
void lf_waitForFirstTraffic();
void lf_holdForRTApiCooldown();

// Whether this run of the main task has read the settings. A run that ended
// before (no docs folder) leaves the settings that depend on the traffic
// source as they are. Each start clears it; tests set it.
bool gf_settingsReadThisRun();
void gf_setSettingsReadThisRun(bool read);

