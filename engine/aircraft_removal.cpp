#include "engine/aircraft_removal.h"

void lf_checkForStaticWithCallsignOrHexidAndRemove(LiveAircraft&) {}
