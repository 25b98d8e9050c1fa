#include "parking/stand_search_index.h"

#include <algorithm>
#include <unordered_map>

#include "core/settings_snapshot.h"
#include "engine/for_parking.h"
#include "engine/static_placement.h"
#include "parking/parking_plan.h"
#include "stands/stand_table.h"

namespace {

bool g_indexEnabled = true;

// A stand search looks at no option past this one.
constexpr size_t kMaxSearchedOptions = 65535;

} // namespace

bool gf_standSearchIndexEnabled()
{
    return g_indexEnabled;
}

void gf_setStandSearchIndexForTesting(bool enabled)
{
    g_indexEnabled = enabled;
}

StandSearchIndex::StandSearchIndex() : m_helicopters(gf_parametersSnapshot()->HELICOPTERS)
{
    const std::vector<Stand>& stands = gf_standTable().stands;
    // The category check interns the model code again: once per model, not per option and pass.
    std::unordered_map<ModelId, bool> wanted;
    for (Kind& kind : m_kinds) {
        kind.options.resize(stands.size());
        kind.week.resize(stands.size());
        kind.anyDay.resize(stands.size());
    }
    for (size_t p = 0; p < stands.size(); ++p) {
        const Stand& stand = stands[p];
        const size_t count = std::min(stand.options.size(), kMaxSearchedOptions);
        for (size_t i = 0; i < count; ++i) {
            const StandOption& o = stand.options[i];
            if (o.optionId == 0)
                continue;
            auto [it, added] = wanted.try_emplace(o.aom.model, false);
            if (added)
                it->second = gf_isModelCategoryIncluded(o.aom.model);
            if (!it->second)
                continue;
            Kind& kind = m_kinds[o.real != 0 ? 1 : 0];
            kind.options[p].push_back(static_cast<uint16_t>(i));
            kind.anyDay[p] |= o.halfHours;
            if (o.weekday >= 1 && o.weekday <= 7)
                kind.week[p] |= std::bitset<336>(o.halfHours.to_ullong()) << ((o.weekday - 1) * 48);
        }
        for (Kind& kind : m_kinds)
            if (!kind.options[p].empty())
                kind.open.push_back(static_cast<uint32_t>(p));
    }
    holdAll();
}

const std::vector<uint16_t>& StandSearchIndex::options(size_t position, uint8_t real) const
{
    return m_kinds[real != 0 ? 1 : 0].options[position];
}

bool StandSearchIndex::covers(size_t position, uint8_t real, uint8_t day, const WeekSlot& searched) const
{
    const Kind& kind = m_kinds[real != 0 ? 1 : 0];
    const size_t halfHour = searched.halfHour % 48;
    if (!day)
        return kind.anyDay[position].test(halfHour);
    if (searched.weekday < 1 || searched.weekday > 7)
        return !kind.options[position].empty(); // no week index: let the pass look
    return kind.week[position].test((searched.weekday - 1) * 48 + halfHour);
}

const std::vector<uint32_t>& StandSearchIndex::open(uint8_t real) const
{
    return m_kinds[real != 0 ? 1 : 0].open;
}

void StandSearchIndex::closeFinished(uint8_t real)
{
    Kind& kind = m_kinds[real != 0 ? 1 : 0];
    const std::vector<Stand>& stands = gf_standTable().stands;
    std::erase_if(kind.open, [&](uint32_t p) {
        const Stand& s = stands[p];
        if (s.used || s.blocked || (s.helipad && !m_helicopters) || (s.id > 0 && heldByNeighbour(s.id)))
            return true;
        const std::vector<uint16_t>& listed = kind.options[p];
        return std::none_of(listed.begin(), listed.end(), [&](uint16_t i) { return s.options[i].optionId != 0; });
    });
}

bool StandSearchIndex::heldByNeighbour(int32_t standId)
{
    if (standId < 1)
        return false;
    takeInPlan();
    return m_heldFree.contains(standId);
}

void StandSearchIndex::hold(int32_t holderStand)
{
    const Stand* holder = gf_standById(holderStand);
    if (!holder)
        return;
    for (const uint32_t neighbour : holder->exclusions)
        if (static_cast<int32_t>(neighbour) != holderStand)
            m_heldFree.insert(static_cast<int32_t>(neighbour));
}

void StandSearchIndex::holdAll()
{
    m_heldFree.clear();
    for (const StaticAircraft& st : gf_staticAircraftView())
        if (st.sim.simState != SimState::removingfromsim)
            hold(st.stand.standId);
    for (const LiveStayer& stayer : gf_liveStayers())
        hold(stayer.standId);
    m_plannedHolders = 0;
    takeInPlan();
}

void StandSearchIndex::takeInPlan()
{
    const ParkingPlan& plan = gf_parkingPlan();
    if (plan.size() < m_plannedHolders) {
        holdAll(); // the plan lost entries: the neighbours they held may be free again
        return;
    }
    for (; m_plannedHolders < plan.size(); ++m_plannedHolders)
        hold(plan[m_plannedHolders].standId);
}
