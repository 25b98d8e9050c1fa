#include "parking/removal_operations.h"

void lf_removeAllStaticAndLiveAtAirport() {}
void gf_removeAllStatic() {}
void gf_clearUserDestGate(const std::string&) {}
