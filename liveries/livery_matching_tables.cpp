#include "liveries/livery_matching_tables.h"

void gf_processScannedLiveries() {}
