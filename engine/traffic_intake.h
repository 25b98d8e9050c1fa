// Intake of received traffic records into the live aircraft.
#pragma once

struct LiveTrafficRecord;

// Applies one received record to the live aircraft.
void decodeMessage(const LiveTrafficRecord& record);
