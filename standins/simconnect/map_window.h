// A small window of the stand-in simulator that draws the scenario airport
// (runways, stands, helipads), the user aircraft and every AI object with its
// tail number, so that a screenshot of a demo run shows the traffic placed.
#pragma once

namespace kvr::standin {

// Opens the window on a thread of its own (nothing when it is open already).
void gf_openMapWindow(double rangeNm);
// Closes the window and ends its thread.
void gf_closeMapWindow();
// True while the window exists.
bool gf_isMapWindowOpen();

} // namespace kvr::standin
