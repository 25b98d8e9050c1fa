// Flags of the airports subsystem that the window reads.
#pragma once

#include <atomic>

// Set while airport files wait in the "tblo" folder to be packed into
// tblo.zip and sent to the maker (the Tblo button is enabled). The airport
// scan, the start-up, the Tblo command and the shutdown set and clear it;
// while it is set, clearing the message line shows the tblo hint instead.
extern std::atomic<bool> tbloReady;
