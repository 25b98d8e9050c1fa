// The engine's own log lines: the reports of exceptions caught in the traffic
// code, and the take-off and touch-down messages.
#pragma once

#include <cstdint>
#include <string>

struct AircraftBase;

// Inside a catch clause: logs the exception being handled with the function
// name; at most 20 reports per run. Never throws.
void gf_reportTrafficException(const char* function) noexcept;

// The number of reports asked for so far (written or not).
uint32_t gf_trafficExceptionCount();

// A take-off or touch-down line: to the message line when FLIGHT_MESSAGES is
// on, else to the log.
void lf_flightMessage(const std::string& text);

// The airline code, with ",<operator>" when the operator is known.
std::string lf_airlineText(const AircraftBase& aircraft);
