// The destination airport typed into the destination box, and the user's
// reserved stand there, chosen in the stand selector.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/value_types.h"

// The text of the stand selector's first entry while no stand is chosen.
inline constexpr const char* kSelectAStand = "select a stand";

// Sets the destination (an ICAO code text) at that airport position: saved,
// published, shown, its stands in the stand selector and the airport made the
// current park airport.
void lf_setDestination(const std::string& icaoText, const LatLon& position);
// The Enter key in the destination box.
void lf_onDestinationEntered();
// The destination box's window procedure (Enter handled, the rest passed on).
LRESULT CALLBACK lf_destinationEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// A choice in the stand selector.
void lf_onStandChosen(const std::string& text);
// A control's window text in UTF-8; empty when it cannot be found or read.
std::string lf_getTextFromId(uint16_t controlId);
