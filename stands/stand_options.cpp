#include "stands/stand_options.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <string>

#include <fmt/format.h>

#include "airports/learned_airport_files.h"
#include "core/gui_senders.h"
#include "core/log.h"
#include "liveries/model_database.h"
#include "stands/stand_table.h"
#include "stands/week_slot.h"

namespace {

std::string_view lf_withoutUnderscore(std::string_view text)
{
    if (!text.empty() && text.back() == '_')
        text.remove_suffix(1);
    return text;
}

// One more option learned or extended: counted for the window and for the
// learned file's save.
void lf_countLearnedChange()
{
    StandTable& table = gf_standTable();
    table.learnedOptionCount += 1;
    learnedUpdateCounter.fetch_add(1);
    gf_postGuiUpdate(GuiUpdate::UpdateCount{static_cast<uint32_t>(std::max(table.learnedOptionCount, 0))});
}

StandOption* lf_optionById(Stand& stand, int32_t optionId)
{
    if (optionId == 0)
        return nullptr;
    for (StandOption& o : stand.options)
        if (o.optionId == optionId)
            return &o;
    return nullptr;
}

// How long an aircraft may have been unseen before its option ends.
int32_t lf_maxGap(const StandUser& aircraft)
{
    if (aircraft.ids.cargo)
        return 12;
    return aircraft.category == Category::Heavy ? 8 : 6;
}

int32_t lf_highestSlot(const HalfHourMask& mask)
{
    for (int32_t s = kSlotsPerDay - 1; s >= 0; --s)
        if (mask.test(static_cast<size_t>(s)))
            return s;
    return -1;
}

// The learned real option of the registration on that weekday: neither fixed
// nor from the airport file, whose options the learned file never keeps.
StandOption* lf_learnedOption(Stand& stand, uint32_t weekday, std::string_view reg)
{
    for (StandOption& o : stand.options)
        if (o.optionId != 0 && o.weekday == weekday && o.registration == reg && o.real == 1 && o.fixed == 0 &&
            o.fromAirportFile == 0)
            return &o;
    return nullptr;
}

uint32_t lf_previousWeekday(uint32_t weekday)
{
    return weekday <= 1 ? 7 : weekday - 1;
}

void lf_addRealStandOption(int32_t standId, const StandUser& user, int occasion, const WeekSlot& now,
                           std::optional<AirlOprModel>& learned)
{
    const std::string reg(lf_withoutUnderscore(user.registration));
    if (reg.empty())
        return;
    learned = gf_lookupDbase(reg);
    if (!learned)
        return;
    StandUser aircraft = user;
    aircraft.ids = *learned;
    Stand* stand = gf_standById(standId);
    if (!stand || now.weekday == 0)
        return;
    const bool closing = occasion == 2 || occasion == 3;
    const size_t bit = now.halfHour;
    for (const StandOption& o : stand->options)
        if (o.optionId != 0 && o.weekday == now.weekday && o.registration == reg && o.real == 1 && o.fixed == 1 &&
            !o.halfHours.test(bit))
            return;

    const OptionNames names{aircraft.callsign, reg};
    StandOption* option = lf_learnedOption(*stand, now.weekday, reg);
    if (!option) {
        // An aircraft that stood here since yesterday carries yesterday's
        // option over midnight.
        StandOption* yesterday = lf_learnedOption(*stand, lf_previousWeekday(now.weekday), reg);
        const int32_t s = yesterday && !yesterday->closed ? lf_highestSlot(yesterday->halfHours) : -1;
        if (s >= 0) {
            LastOptionSlot last{{yesterday->weekday, static_cast<uint32_t>(s)}, yesterday->optionId};
            if (lf_extendRealStandOption(now, *stand, yesterday->optionId, last, aircraft, reg, closing)) {
                lf_countLearnedChange();
                return;
            }
        }
        lf_createRealStandOption(*stand, aircraft.ids, now, names, closing);
        return;
    }
    if (option->closed && !option->halfHours.test(bit)) {
        lf_createRealStandOption(*stand, aircraft.ids, now, names, closing);
        return;
    }
    if (option->halfHours.test(bit)) {
        if (closing)
            option->closed = 1;
        return;
    }
    const int32_t s = lf_highestSlot(option->halfHours);
    if (s < 0)
        return;
    const int32_t foundId = option->optionId;
    LastOptionSlot last{{option->weekday, static_cast<uint32_t>(s)}, foundId};
    // The option vector may grow below: options are found again by id.
    if (lf_extendRealStandOption(now, *stand, foundId, last, aircraft, reg, closing)) {
        lf_countLearnedChange();
        if (closing)
            if (StandOption* o = lf_optionById(*stand, foundId))
                o->closed = 1;
        return;
    }
    lf_createRealStandOption(*stand, aircraft.ids, now, names, closing);
    if (closing)
        if (StandOption* o = lf_optionById(*stand, foundId))
            o->closed = 1;
}

} // namespace

int32_t gf_weekIndex(const WeekSlot& slot)
{
    return (static_cast<int32_t>(slot.weekday) - 1) * kSlotsPerDay + static_cast<int32_t>(slot.halfHour);
}

int32_t gf_slotGap(const WeekSlot& from, const WeekSlot& to)
{
    const int32_t gap = gf_weekIndex(to) - gf_weekIndex(from);
    return gap < 0 ? gap + kSlotsPerWeek : gap;
}

std::vector<uint32_t> lf_slotsBackFromNow(const WeekSlot& now, int32_t n)
{
    std::vector<uint32_t> slots;
    slots.reserve(kSlotsPerDay);
    uint32_t slot = now.halfHour;
    for (int32_t i = 0; i < n; ++i) {
        slots.push_back(slot);
        slot = slot == 0 ? kSlotsPerDay - 1 : slot - 1;
    }
    return slots;
}

std::optional<AirlOprModel> gf_addRealStandOption(int32_t standId, const StandUser& aircraft, int occasion)
{
    const WeekSlot now = gf_currentWeekSlot();
    std::optional<AirlOprModel> learned;
    try {
        lf_addRealStandOption(standId, aircraft, occasion, now, learned);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: hh_now: {}, {}", "gf_addRealStandOption", now.halfHour, e.what()));
    } catch (...) {
        gf_logError(fmt::format("{}: hh_now: {}, {}", "gf_addRealStandOption", now.halfHour, "unknown exception"));
    }
    return learned;
}

bool lf_extendRealStandOption(const WeekSlot& now, Stand& stand, int32_t optionId, LastOptionSlot& last,
                              const StandUser& aircraft, std::string_view registration, bool closed)
{
    if (optionId == 0)
        return false;
    if (last.slot.weekday == now.weekday && last.slot.halfHour == now.halfHour)
        return true;
    const int32_t gap = gf_slotGap(last.slot, now);
    if (gap < 1 || gap >= lf_maxGap(aircraft))
        return false;
    const std::vector<uint32_t> slots = lf_slotsBackFromNow(now, gap);
    if (last.slot.weekday == now.weekday) {
        if (!updateOptions(stand, slots, optionId))
            return false;
        lf_addOptionCallsign(stand, optionId, aircraft.callsign);
        last = {now, optionId};
        return true;
    }
    const std::optional<int32_t> newId =
        lf_createRealStandOption(stand, aircraft.ids, now, {aircraft.callsign, registration}, closed);
    if (!newId)
        return false;
    if (updateOptionsWrapped(stand, slots, {optionId, *newId})) {
        lf_addOptionCallsign(stand, optionId, aircraft.callsign);
        lf_addOptionCallsign(stand, *newId, aircraft.callsign);
        last = {now, *newId};
        return true;
    }
    if (StandOption* created = lf_optionById(stand, *newId))
        created->optionId = 0;
    return false;
}

std::optional<int32_t> lf_createRealStandOption(Stand& stand, const AirlOprModel& kind, const WeekSlot& now,
                                                const OptionNames& names, bool closed)
{
    if (names.registration.empty())
        return std::nullopt;
    HalfHourMask mask;
    mask.set(now.halfHour);
    AirlOprModel ids = kind;
    if (!kind.flag)
        if (const std::optional<AirlOprModel> known = gf_lookupDbase(names.registration))
            ids = *known;
    for (const StandOption& o : stand.options)
        if (o.optionId != 0 && o.registration == names.registration && o.weekday == now.weekday &&
            o.halfHours == mask)
            return std::nullopt;
    StandOption o;
    o.aom = ids;
    o.registration = std::string(names.registration);
    o.callsign = std::string(lf_withoutUnderscore(names.callsign));
    o.halfHours = mask;
    o.optionId = static_cast<int32_t>(stand.options.size()) + 1;
    o.weekday = now.weekday;
    o.fixed = 0;
    o.fromAirportFile = 0;
    o.real = 1;
    o.closed = closed ? 1 : 0;
    stand.options.push_back(std::move(o));
    lf_countLearnedChange();
    return stand.options.back().optionId;
}

bool updateOptions(Stand& stand, const std::vector<uint32_t>& slots, int32_t optionId)
{
    StandOption* option = lf_optionById(stand, optionId);
    if (!option)
        return false;
    try {
        for (auto it = slots.rbegin(); it != slots.rend(); ++it)
            option->halfHours.set(*it);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception:{}", "updateOptions", e.what()));
        return false;
    }
    return true;
}

bool updateOptionsWrapped(Stand& stand, const std::vector<uint32_t>& slots, const OptionPair& ids)
{
    StandOption* oldOption = lf_optionById(stand, ids.oldId);
    StandOption* newOption = lf_optionById(stand, ids.newId);
    if (!oldOption || !newOption || slots.empty())
        return false;
    try {
        auto it = slots.rbegin();
        if (*it != 0) {
            // The old day's tail: from the oldest slot through 23:30.
            for (; it != slots.rend(); ++it) {
                oldOption->halfHours.set(*it);
                if (*it == kSlotsPerDay - 1) {
                    ++it;
                    break;
                }
            }
        }
        // Today's head, without now's slot, which the new option has already.
        for (; it != slots.rend() && std::next(it) != slots.rend(); ++it)
            newOption->halfHours.set(*it);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception:{}", "updateOptionsWrapped", e.what()));
        return false;
    }
    return true;
}

void lf_addOptionCallsign(Stand& stand, int32_t optionId, std::string_view callsign)
{
    const std::string_view c = lf_withoutUnderscore(callsign);
    StandOption* option = lf_optionById(stand, optionId);
    if (c.empty() || !option)
        return;
    if (option->callsign.empty())
        option->callsign = std::string(c);
    else if (c != option->callsign && c != option->callsign2)
        option->callsign2 = std::string(c);
}

const StandOption* lf_findStandOptionNames(const std::vector<Stand>& stands, const WeekSlot& now,
                                           const StandUser& aircraft)
{
    const int32_t w = aircraft.category == Category::Heavy ? 14 : 10;
    const int32_t slot = static_cast<int32_t>(now.halfHour);
    HalfHourMask window;
    for (int32_t s = std::max(slot - w, 0); s <= std::min(slot + w, kSlotsPerDay - 1); ++s)
        window.set(static_cast<size_t>(s));
    const std::string_view c = aircraft.callsign;
    const std::string_view bare = lf_withoutUnderscore(c);
    if (c.empty() || c == "_")
        return nullptr;
    for (const Stand& stand : stands) {
        for (const StandOption& o : stand.options) {
            if (o.optionId == 0 || o.weekday != now.weekday || o.aom.airline != aircraft.ids.airline ||
                o.callsign2.empty() || (o.halfHours & window).none())
                continue;
            if (o.callsign == c || o.callsign == bare || o.callsign2 == c || o.callsign2 == bare)
                return &o;
        }
    }
    return nullptr;
}

bool lf_matchesStandOption(const StandUser& aircraft, const StandOption& option)
{
    return option.registration == aircraft.registration && option.aom.airline == aircraft.ids.airline &&
           option.aom.oper == aircraft.ids.oper && option.aom.model == aircraft.ids.model &&
           option.aom.cargo == aircraft.ids.cargo;
}
