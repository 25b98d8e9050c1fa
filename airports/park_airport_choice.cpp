#include "airports/park_airport_choice.h"

void gf_readMyParkAirportsFile() {}
void gf_saveMyParkAirportsFile() {}
void gf_selectNearestParkAirport(const LatLon&) {}
void gf_chooseParkAirport(const LatLon&) {}
void gf_checkParkAirportReach(const LatLon&) {}
