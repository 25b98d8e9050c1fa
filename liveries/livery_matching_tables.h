// The matching tables built from the scanned-livery file. None are built yet.
#pragma once

void gf_processScannedLiveries();
