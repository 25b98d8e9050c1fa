#include "airports/park_airports.h"

#include <algorithm>

namespace {
std::optional<std::string> lf_standOf(const ParkAirport& a)
{
    return a.reservedStand.empty() ? std::nullopt : std::optional<std::string>(a.reservedStand);
}
} // namespace

ParkAirportList& gf_parkAirportList()
{
    static ParkAirportList list;
    return list;
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
    auto it = std::find_if(list.airports.begin(), list.airports.end(),
                           [&](const ParkAirport& a) { return a.icao == icao; });
    ParkAirport entry;
    if (it != list.airports.end()) {
        entry = std::move(*it);
        list.airports.erase(it);
    }
    entry.icao = icao;
    entry.position = position;
    list.airports.push_front(std::move(entry));
}
