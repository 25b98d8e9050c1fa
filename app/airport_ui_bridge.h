// The main window's side of the airport code's window changes.
#pragma once

// Registers it (idempotent); the start of the main task calls this.
void gf_registerAirportUi();
