// Compiled into every test program and benchmark (an interface source of the
// test support library): the engine gets the real parking side as its stand
// services before any test runs, as the program's main task gives it.
#include "parking/parking_services.h"

namespace {

[[maybe_unused]] const bool g_parkingServicesRegistered = (gf_useParkingStandServices(), true);

} // namespace
