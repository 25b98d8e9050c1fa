// The airport scan of the simulator's packages. Not built yet: nothing is scanned.
#pragma once

void gf_scanAirports();
