#include "airports/current_airport.h"

CurrentAirportRecord CurrentAirport;
