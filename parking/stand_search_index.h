// What the stand searches of one parking run look up again and again, built
#include "stands/week_slot.h"
// once when they start: each stand's options of either kind (real or soft)
// whose category the settings want, the half-hours of the week they cover,
// the stands that can still take an option of a kind, and the stands that a
// holder (a static aircraft not being removed, a live stayer or a plan entry)
// keeps free as its neighbours. The searches then visit only the stands that
// can place something and stop a kind when none is left. Main task only; an
// index is valid for the searches of one run, while no static aircraft or
// stayer comes or goes and the plan only grows.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>


class StandSearchIndex {
public:
    // Builds from the stand table, the statics, the stayers and the plan as they are now.
    StandSearchIndex();

    // The options of the stand at table position `position` of the kind (real
    // 1, soft 0) whose category is wanted and whose id was not 0, in option order.
    const std::vector<uint16_t>& options(size_t position, uint8_t real) const;
    // An option of the kind covers the searched half-hour: of the searched
    // weekday when `day` is set, of any weekday otherwise.
    bool covers(size_t position, uint8_t real, uint8_t day, const WeekSlot& searched) const;
    // Table positions, in table order, of the stands that may still take an
    // option of the kind.
    const std::vector<uint32_t>& open(uint8_t real) const;
    // Drops from the open stands of the kind those that no later pass of this
    // run can use: used, blocked, a helipad without helicopters, held free by
    // a neighbour, or with every option of the kind taken out.
    void closeFinished(uint8_t real);

    // Another stand that a holder holds lists this stand among its neighbours
    // (lf_standTakenByStaticOrPlan); plan entries added since are taken in.
    bool heldByNeighbour(int32_t standId);

private:
    struct Kind {
        std::vector<std::vector<uint16_t>> options; // by table position
        std::vector<std::bitset<336>> week;         // week index of each covered half-hour
        std::vector<std::bitset<48>> anyDay;
        std::vector<uint32_t> open;
    };
    void hold(int32_t holderStand);
    void holdAll();
    void takeInPlan();

    Kind m_kinds[2];
    std::unordered_set<int32_t> m_heldFree;
    size_t m_plannedHolders = 0;
    bool m_helicopters = false;
};

// Stand searches use an index unless a test compares them with the plain passes.
bool gf_standSearchIndexEnabled();
void gf_setStandSearchIndexForTesting(bool enabled);
