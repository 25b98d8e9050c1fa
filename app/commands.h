// What a click, a check-box toggle or a combo-box choice in the main window
// does. The handlers run on the GUI thread: they store and save the changed
// setting, republish the settings snapshot, switch dependent controls, show a
// message and hand the heavy work to the main task through request flags
// (app/user_requests.h) or a restart.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

// The dispatch of WM_COMMAND: buttons, then check boxes, then combo boxes.
// True when the command was handled; a failing handler is logged and gives false.
bool lf_HandleWMCOMMAND(HWND hwnd, WPARAM wParam);
bool lf_handleButtonCommand(uint16_t id);
bool lf_handleCheckBoxCommand(HWND hwnd, uint16_t id);
bool lf_handleComboCommand(HWND hwnd, WPARAM wParam);

// The selected {index, text} of the combo box `id` when wParam is its
// selection change; none otherwise.
std::optional<std::pair<int, std::string>> lf_getComboSelection(HWND hwnd, uint16_t id, WPARAM wParam);

struct AircraftSelection {
    std::string callsign;
    std::string regcode;
    uint32_t hexid = 0;
};
// "callsign, registration, hexid, oid=..." of the aircraft selector.
std::optional<AircraftSelection> gf_parseAircraftSelection(const std::string& entry);

void lf_blockAircraft();
void lf_unblockAircraft();
// Shows the coming parking update, disables the parking controls and raises
// the parking-update request.
void lf_triggerStaticParkingUpdate();
// Shows the text as the sticky error and asks the main task to end (code 8).
void gf_fatalError(const std::string& text);
