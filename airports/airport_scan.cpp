#include "airports/airport_scan.h"

void gf_scanAirports() {}
