// Stand options by half-hour window: what live aircraft standing at a stand
// teach its options (which registration and callsigns used it in which
// half-hour slots of which weekday), and the callsigns a newly seen aircraft
// borrows from them. Main task only.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "airports/stand.h"
#include "liveries/model_database.h"
#include "stands/week_slot.h"

// The aircraft on a stand, as its options learn it and name it.
struct StandUser {
    std::string_view registration;
    std::string_view callsign;
    Category category = Category::Light;
    AirlOprModel ids; // airline, operator, model and cargo byte
};

// ---- Week slots: 48 half-hours a day, 336 a week ----
inline constexpr int32_t kSlotsPerDay = 48;
inline constexpr int32_t kSlotsPerWeek = 336;

// (weekday - 1) * 48 + half-hour.
int32_t gf_weekIndex(const WeekSlot& slot);
// Half-hours from a to b, going forward through the week (0..335).
int32_t gf_slotGap(const WeekSlot& from, const WeekSlot& to);
// The n half-hours that end at now, now's first, then back one at a time
// (half-hour 0 is followed by 47).
std::vector<uint32_t> lf_slotsBackFromNow(const WeekSlot& now, int32_t n);

// The last half-hour an option was extended to, and that option.
struct LastOptionSlot {
    WeekSlot slot;
    int32_t optionId = 0;
};

// Records that the aircraft stands on the stand now. Occasion 0: at its stand
// after arriving or already parked; 1: spawned parked; 2 and 3: found at the
// stand by its samples, which closes the option it recorded. Only aircraft
// whose registration the model database knows teach anything; the options
// then carry the database's airline, operator and model, which are returned
// for the aircraft to carry too (none for an unknown registration). Never
// throws.
std::optional<AirlOprModel> gf_addRealStandOption(int32_t standId, const StandUser& aircraft, int occasion);

// Extends the option up to now; true when it then covers now's half-hour.
// The aircraft may have been unseen for fewer than 12 half-hours (cargo), 8
// (Heavy) or 6 (others). Across midnight the slots up to 23:30 go to the old
// option and a new option for today takes the rest.
bool lf_extendRealStandOption(const WeekSlot& now, Stand& stand, int32_t optionId, LastOptionSlot& last,
                              const StandUser& aircraft, std::string_view registration, bool closed);

struct OptionNames {
    std::string_view callsign;
    std::string_view registration;
};
// Appends a real option for now's half-hour; the new option's id, or none
// when the registration is empty or the same option exists already.
std::optional<int32_t> lf_createRealStandOption(Stand& stand, const AirlOprModel& kind, const WeekSlot& now,
                                                const OptionNames& names, bool closed);

// Sets the slots (taken from the end of the list) in the option of that id;
// false when no option has the id or a slot is out of range (logged).
bool updateOptions(Stand& stand, const std::vector<uint32_t>& slots, int32_t optionId);
struct OptionPair {
    int32_t oldId = 0;
    int32_t newId = 0;
};
// The slots of a list that crosses midnight: those from the oldest up to 47
// go to the old option (none when the oldest is 0), the rest but the newest
// to the new one. False unless both options exist and every slot was set.
bool updateOptionsWrapped(Stand& stand, const std::vector<uint32_t>& slots, const OptionPair& ids);

// Adds the callsign (without a trailing '_') to the option: as the first
// callsign while there is none, else as the second unless it is one of the
// two already; a third callsign replaces the second.
void lf_addOptionCallsign(Stand& stand, int32_t optionId, std::string_view callsign);

// The first option (stand and option order) of today and of the aircraft's
// airline that has a second callsign, names the aircraft's callsign (with or
// without a trailing '_') and has a slot within 10 half-hours of now (14 for
// Heavy aircraft); its two callsigns are the ones the aircraft adopts. Null
// when none.
const StandOption* lf_findStandOptionNames(const std::vector<Stand>& stands, const WeekSlot& now,
                                           const StandUser& aircraft);

// The option is for this aircraft: same registration, airline, operator,
// model and cargo flag.
bool lf_matchesStandOption(const StandUser& aircraft, const StandOption& option);
