#include "engine/traffic_intake.h"

// No live aircraft are kept yet: a record is not applied anywhere.
void decodeMessage(const LiveTrafficRecord&)
{
}
