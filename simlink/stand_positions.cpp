#include "simlink/stand_positions.h"

#include <cmath>
#include <utility>

#include "core/geodesy.h"
#include "core/shared_snapshot.h"
#include "core/units.h"
#include "simlink/user_aircraft.h"

namespace {

// (20 m in NM) squared: the reach of a stand in gf_findStandAtPosition.
constexpr double kStandReachNm2 = 0.00011662133983924917;
// (0.003 NM) squared: how far a position may move before a thread asks again.
constexpr double kCacheMoveNm2 = 9e-6;

SharedSnapshot<const StandSnapshot> publishedSnapshot{std::make_shared<const StandSnapshot>()};

// The last answer of gf_findStandAtPosition on this thread. The snapshot is
// held weakly so that a thread that stops asking does not keep an old table alive.
struct PositionCache {
    std::weak_ptr<const StandSnapshot> snapshot;
    LatLon position;
    bool valid = false;
    std::string answer;
};
thread_local PositionCache positionCache;

} // namespace

void gf_publishStandPositions(std::shared_ptr<const StandSnapshot> snapshot)
{
    publishedSnapshot.store(std::move(snapshot));
}

std::shared_ptr<const StandSnapshot> gf_standSnapshot()
{
    return publishedSnapshot.load();
}

std::string gf_findStandAtPosition(const LatLon& position)
{
    PositionCache& cache = positionCache;
    const std::shared_ptr<const StandSnapshot> snapshot = publishedSnapshot.load();
    if (snapshot->empty() || !userOnGround.load()) {
        cache = {};
        return {};
    }
    const bool sameSnapshot = cache.valid && !cache.snapshot.owner_before(snapshot) &&
                              !snapshot.owner_before(cache.snapshot) && !cache.snapshot.expired();
    // Squared flat distances in NM², longitude scaled at the position's latitude.
    const double cosLat = gf_cosLatitude(position.latitude);
    if (sameSnapshot && gf_flatOffsetNm(position, cache.position, cosLat).squared() <= kCacheMoveNm2)
        return cache.answer;

    const StandSnapshotEntry* best = nullptr;
    double bestD2 = kStandReachNm2;
    for (const StandSnapshotEntry& e : *snapshot) {
        const double d2 = gf_flatOffsetNm(position, {e.lat, e.lon}, cosLat).squared();
        if (d2 <= bestD2 && (!best || d2 < bestD2)) {
            best = &e;
            bestD2 = d2;
        }
    }
    cache.snapshot = snapshot;
    cache.position = position;
    cache.valid = true;
    cache.answer = best ? best->name : std::string();
    return cache.answer;
}
