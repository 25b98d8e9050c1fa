#include "airports/park_airports.h"

#include <algorithm>
#include <unordered_map>

#include "core/layout.h"

namespace {
std::optional<std::string> lf_standOf(const ParkAirport& a)
{
    return a.reservedStand.empty() ? std::nullopt : std::optional<std::string>(a.reservedStand);
}

void lf_moveToFront(ParkAirportList& list, const IcaoCode& icao, const LatLon& position,
                    const std::optional<std::string_view>& stand)
{
    auto it = std::find_if(list.airports.begin(), list.airports.end(),
                           [&](const ParkAirport& a) { return a.icao == icao; });
    ParkAirport entry;
    if (it != list.airports.end()) {
        entry = std::move(*it);
        list.airports.erase(it);
    }
    entry.icao = icao;
    entry.position = position;
    if (stand)
        entry.reservedStand = std::string(*stand);
    list.airports.push_front(std::move(entry));
    list.lastCheck = {};
    list.recheckDistanceNm = 4.0;
}
} // namespace

ParkAirportList& gf_parkAirportList()
{
    static ParkAirportList list;
    return list;
}

const std::filesystem::path& gf_parkAirportsFilePath()
{
    static const std::filesystem::path path = g_airportsFolder / L"my_park_airports.txt";
    return path;
}

std::optional<ParkAirport> gf_currentParkAirport()
{
    ParkAirportList& list = gf_parkAirportList();
    std::lock_guard lock(list.mutex);
    if (list.airports.empty())
        return std::nullopt;
    return list.airports.front();
}

bool gf_setCurrentReservedStand(const IcaoCode& icao, std::string_view stand)
{
    ParkAirportList& list = gf_parkAirportList();
    std::lock_guard lock(list.mutex);
    if (list.airports.empty() || !(list.airports.front().icao == icao))
        return false;
    list.airports.front().reservedStand = std::string(stand);
    return true;
}

std::optional<std::string> gf_currentReservedStand()
{
    ParkAirportList& list = gf_parkAirportList();
    std::lock_guard lock(list.mutex);
    if (list.airports.empty())
        return std::nullopt;
    return lf_standOf(list.airports.front());
}

std::optional<std::string> gf_reservedStandOf(const IcaoCode& icao)
{
    ParkAirportList& list = gf_parkAirportList();
    std::lock_guard lock(list.mutex);
    for (const ParkAirport& a : list.airports) {
        if (a.icao == icao)
            return lf_standOf(a);
    }
    return std::nullopt;
}

void gf_setCurrentParkAirport(const IcaoCode& icao, const LatLon& position)
{
    ParkAirportList& list = gf_parkAirportList();
    std::lock_guard lock(list.mutex);
    lf_moveToFront(list, icao, position, std::nullopt);
}

void gf_setCurrentParkAirportAndStand(const IcaoCode& icao, const LatLon& position, std::string_view stand)
{
    ParkAirportList& list = gf_parkAirportList();
    std::lock_guard lock(list.mutex);
    lf_moveToFront(list, icao, position, stand);
}

void gf_removeDuplicateParkAirports(std::deque<ParkAirport>& airports)
{
    std::deque<ParkAirport> kept;
    std::unordered_map<uint32_t, size_t> index;
    for (ParkAirport& a : airports) {
        const auto [it, inserted] = index.try_emplace(a.icao.code, kept.size());
        if (inserted) {
            kept.push_back(std::move(a));
            continue;
        }
        ParkAirport& first = kept[it->second];
        if (!a.reservedStand.empty() && first.reservedStand.empty())
            first = std::move(a);
    }
    airports = std::move(kept);
}
