// The typed senders of window updates: each builds one GuiUpdate and hands it
// to the registered UiSink (core/ui_sink.h). Any thread; none waits for the
// window. Every part of the program below the window changes what the window
// shows through these, or through gf_postGuiUpdate for the other kinds.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "core/gui_update.h"

// Any update kind.
void gf_postGuiUpdate(GuiUpdate&& update) noexcept;

// The timed message line for 25 s (kind 35); logged when `log` is set.
void gf_showMessage(std::string text, bool log);
// The sticky error line (kind 36), logged as "Error {}".
void gf_showError(std::string text);
// Clears the timed message line (kind 37), or shows the tblo hint while the
// tblo bundle waits.
void gf_clearMessage();
// Shows (without logging) the hint to send tblo.zip to the maker.
void gf_showTbloHint();
// The text of that hint.
std::string gf_tbloHintText();

void gf_setTrafficSourceInfo(std::string text);          // kind 11
void gf_setSimaddonAirportCount(uint64_t count);         // kind 15
void gf_setUserWingspanKnown(bool known);                // kind 17
void gf_setAirportFileInfo(bool loaded, std::string text); // kind 24
// Kind 26; also writes g_parkedFromRTOnlyNow on the calling thread.
void gf_setParkedFromRTOnly(bool rtOnly);
void gf_setAirportPublisher(std::string name, bool handmade); // kind 29
void gf_setStaticFit(float value);                       // kind 31
void gf_setUserStand(std::string text);                  // kind 33
// Kind 4 with the header, status-panel or airport band.
void gf_repaintHeader();
void gf_repaintStatusPanel();
void gf_repaintAirportPanel();

// Asks the window to switch the simulator choice and restart (posted).
void gf_postSwitchSim();

// Written by the kind-26 sender and the parking code, cleared by ResetStatus;
// never painted.
extern std::atomic<bool> g_parkedFromRTOnlyNow;
