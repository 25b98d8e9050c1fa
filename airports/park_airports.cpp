#include "airports/park_airports.h"

#include <algorithm>

ParkAirportList& gf_parkAirportList()
{
    static ParkAirportList list;
    return list;
}

std::optional<std::string> gf_reservedStandOf(const IcaoCode& icao)
{
    ParkAirportList& list = gf_parkAirportList();
    std::lock_guard lock(list.mutex);
    for (const ParkAirport& a : list.airports) {
        if (a.icao == icao)
            return a.reservedStand.empty() ? std::nullopt : std::optional<std::string>(a.reservedStand);
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
    entry.latitude = position.latitude;
    entry.longitude = position.longitude;
    list.airports.push_front(std::move(entry));
}
