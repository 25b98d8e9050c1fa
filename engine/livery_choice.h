// The livery choice: the title of an installed livery for every aircraft the
// program creates, live or static. A ladder of nine steps, from the aircraft's
// own registration (0, 1) through its airline and model (2), the airline's
// similar types (3), generic liveries (4), any livery of the model (5), of a
// similar model (6), of the category (7), to B738/A320 (8). MATCHING_DEPTH
// (1..7) bounds the ladder; above TCAS_FL a live aircraft may go to 8. Small
// aircraft (Light, TwoProps, Bizjet, Rotorcraft) always try 5-7. Main task only.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "liveries/livery_matching_tables.h"
#include "liveries/livery_memory.h"
#include "liveries/model_database.h"

struct AircraftBase;

// The simulator could not create the aircraft's object with its livery
// (gf_reportFailedLivery of its callsign, livery title and kind).
void gf_reportFailedLivery(const AircraftBase& aircraft);
// A live aircraft at `altitudeFt` (its front sample): true when a title was
// chosen and accepted; it is left in liveryTitle.
bool gf_pickLiveryLiveAc(AircraftBase& aircraft, double altitudeFt);
// A static aircraft from the parking plan, whose entry gives the callsign for
// the log and the cargo byte.
bool gf_pickLiveryStaticAc(AircraftBase& aircraft, std::string_view planCallsign, uint8_t planCargo);

// The steps; each writes liveryTitle on success.
bool lf_matchRegistration(AircraftBase& aircraft);
bool lf_matchAirlineModel(AircraftBase& aircraft, const AirlOprModel& key);
bool lf_matchAirlineOperatorModel(AircraftBase& aircraft, const AirlOprModel& key, size_t table);
bool lf_pickAirlineModelTitle(AircraftBase& aircraft, size_t table, const AirlOprModel& key);
bool lf_pickTitleContainingAirlineName(AircraftBase& aircraft, size_t table, const AirlOprModel& key,
                                       std::string_view airlineCode);
bool lf_pickModelTitle(AircraftBase& aircraft, ModelId model, size_t table);
bool lf_matchAirlineSimilarModel(AircraftBase& aircraft, const AirlOprModel& key);
bool lf_matchGenericSteps(AircraftBase& aircraft, int32_t depth, bool extraCargo, size_t& step);
// A random title that is not special; none when every title is.
std::optional<std::string_view> lf_pickRandomTitle(const TitleViews& titles);
bool lf_acceptLiveMatch(AircraftBase& aircraft, size_t step);
bool lf_acceptStaticMatch(AircraftBase& aircraft, size_t step);
