#include "liveries/livery_scan_driver.h"

void gf_scanLiveries() {}
