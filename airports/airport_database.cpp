#include "airports/airport_database.h"

CurrentAirportRecord CurrentAirport;
