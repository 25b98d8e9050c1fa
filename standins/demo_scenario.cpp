#include "standins/demo_scenario.h"

#include <cmath>
#include <numbers>
#include <string>

#include "core/geodesy.h"

namespace kvr::standin {

namespace {

constexpr double kRad = std::numbers::pi / 180.0;
constexpr double kMetresPerFt = 0.3048;
constexpr double kFtPerNm = 6076.12;
constexpr double kElevationFt = -11.0;
const LatLon kAirport{52.3086, 4.7639};

// "18R" as the facility's number and designator (none, L, R, C, W, A, B).
void lf_ident(const std::string& ident, int& number, int& designator)
{
    number = std::stoi(ident.substr(0, 2));
    const std::string letters = "LRCWAB";
    designator = ident.size() > 2 ? static_cast<int>(letters.find(ident[2]) + 1) : 0;
}

LatLon lf_from(LatLon p, double bearingDeg, double nm)
{
    return gf_destinationPoint(p, {bearingDeg * kRad, nm * kFtPerNm});
}

} // namespace

nlohmann::json gf_facilityRunways(const std::vector<RunwayGeometry>& runways)
{
    nlohmann::json list = nlohmann::json::array();
    nlohmann::json starts = nlohmann::json::array();
    for (const RunwayGeometry& r : runways) {
        const LatLon le = r.low.threshold, he = r.high.threshold;
        const double lengthFt = gf_distanceNm(le, he) * kFtPerNm;
        const LatLon centre = gf_destinationPoint(le, {gf_initialBearing(le, he), lengthFt * 0.5});
        int pn, pd, sn, sd;
        lf_ident(r.low.ident, pn, pd);
        lf_ident(r.high.ident, sn, sd);
        const double widthM = r.widthFt * kMetresPerFt;
        const auto threshold = [&](const RunwayEndGeometry& e) {
            return nlohmann::json{{"LENGTH", e.displacedFt * kMetresPerFt}, {"WIDTH", widthM},
                                  {"ENABLE", e.displacedFt > 0.0 ? 1 : 0}};
        };
        list.push_back({{"LATITUDE", centre.latitude},
                        {"LONGITUDE", centre.longitude},
                        {"ALTITUDE", (r.low.elevationFt + r.high.elevationFt) * 0.5 * kMetresPerFt},
                        {"HEADING", gf_initialBearing(centre, he) / kRad},
                        {"LENGTH", r.lengthFt * kMetresPerFt},
                        {"WIDTH", widthM},
                        {"PRIMARY_NUMBER", pn},
                        {"PRIMARY_DESIGNATOR", pd},
                        {"SECONDARY_NUMBER", sn},
                        {"SECONDARY_DESIGNATOR", sd},
                        {"PRIMARY_THRESHOLD", threshold(r.low)},
                        {"SECONDARY_THRESHOLD", threshold(r.high)}});
        for (const auto& [end, number, designator] : {std::tuple{r.low, pn, pd}, std::tuple{r.high, sn, sd}})
            starts.push_back({{"LATITUDE", end.threshold.latitude},
                              {"LONGITUDE", end.threshold.longitude},
                              {"ALTITUDE", end.elevationFt * kMetresPerFt},
                              {"HEADING", end.headingDeg},
                              {"NUMBER", number},
                              {"DESIGNATOR", designator},
                              {"TYPE", 1}});
    }
    return {{"RUNWAY", list}, {"START", starts}};
}

std::vector<DemoStand> gf_amsterdamDemoStands()
{
    std::vector<DemoStand> stands;
    // A row of stands `spacingM` apart along `bearingDeg`, numbered from
    // `first` in steps of `step`.
    const auto row = [&](char letter, int first, int step, int count, LatLon start, double bearingDeg,
                         double spacingM, double headingDeg, double radiusM, int type) {
        for (int i = 0; i < count; ++i)
            stands.push_back({letter, first + i * step, lf_from(start, bearingDeg, i * spacingM / kMetresPerFt / kFtPerNm),
                              headingDeg, radiusM, type});
    };
    // The user's pier: the user aircraft stands on C4.
    const LatLon user{52.30872, 4.76392};
    row('C', 2, 2, 4, lf_from(user, 323.0, 60.0 / kMetresPerFt / kFtPerNm), 143.0, 60.0, 233.0, 20.0, 9);
    // The D and E piers run north-east from D2 through D4, whose aircraft
    // are parked there; E7 and the heavy F3 hold parked aircraft too.
    const LatLon d2{52.3093, 4.7622}, d4{52.3096, 4.7630};
    const double pier = gf_initialBearing(d2, d4) / kRad;
    const double pitchM = gf_distanceNm(d2, d4) * kFtPerNm * kMetresPerFt;
    row('D', 2, 2, 4, d2, pier, pitchM, pier + 90.0, 20.0, 9);
    row('E', 5, 2, 3, lf_from({52.3108, 4.7661}, pier, -pitchM / kMetresPerFt / kFtPerNm), pier, pitchM, pier + 90.0,
        20.0, 9);
    row('F', 1, 2, 3, lf_from({52.3121, 4.7680}, pier, -80.0 / kMetresPerFt / kFtPerNm), pier, 80.0, pier + 90.0,
        34.0, 10);
    row('H', 1, 2, 3, {52.3062, 4.7738}, 143.0, 60.0, 233.0, 20.0, 9);
    return stands;
}

nlohmann::json gf_facilityStands(LatLon airport, const std::vector<DemoStand>& stands)
{
    // The facility reader moves the reference point east by BIAS_X, then
    // north by BIAS_Z.
    const auto signedMetres = [](LatLon from, LatLon to, double positive) {
        return (positive ? 1.0 : -1.0) * gf_distanceNm(from, to) * kFtPerNm * kMetresPerFt;
    };
    nlohmann::json list = nlohmann::json::array();
    for (const DemoStand& s : stands) {
        const LatLon east{airport.latitude, s.position.longitude};
        list.push_back({{"TYPE", s.type},
                        {"NAME", 12 + (s.letter - 'A')},
                        {"NUMBER", s.number},
                        {"HEADING", std::fmod(s.headingDeg + 360.0, 360.0)},
                        {"RADIUS", s.radiusM},
                        {"BIAS_X", signedMetres(airport, east, s.position.longitude >= airport.longitude)},
                        {"BIAS_Z", signedMetres(east, s.position, s.position.latitude >= airport.latitude)}});
    }
    return list;
}

RtAppScenario gf_amsterdamDemoTraffic(const std::vector<RunwayGeometry>& runways)
{
    RtAppScenario s;
    s.airport = "EHAM";
    s.metar = "EHAM 071025Z 24012KT 9999 FEW020 08/04 Q1009";
    s.loopSeconds = 600.0;
    // Reported as the App reports real traffic: every 10 s or so, rounded, noisy.
    const auto add = [&](AppAircraft who, const std::vector<TrackPoint>& track, double airJumpM = 0.0) {
        std::vector<TrackPoint> reports = gf_appReports(track, {.seed = who.hexid, .airJumpM = airJumpM});
        s.aircraft.push_back({std::move(who), {}, std::move(reports), true});
    };
    // The App's buffer is the first 30 s; Kelo plays 30 s behind: most of
    // the traffic starts within its first minute.
    add({.hexid = 4738001, .callsign = "KLM1001", .type = "B738", .registration = "PH-BXA",
         .origin = "AMS", .destination = "LHR", .airline = "KLM"},
        gf_movingFrom(gf_departureTrack(gf_runwayEnd(runways, "24"), 1000.0, 140.0, 3000.0), 20.0));
    add({.hexid = 4738002, .callsign = "TRA5821", .type = "B738", .registration = "PH-HXB",
         .origin = "AMS", .destination = "AGP", .airline = "TRA"},
        gf_movingFrom(gf_departureTrack(gf_runwayEnd(runways, "36L"), 800.0, 140.0, 3000.0), 45.0));
    add({.hexid = 4738003, .callsign = "KLM1294", .type = "E190", .registration = "PH-EZA",
         .origin = "BLL", .destination = "AMS", .airline = "KLM"},
        gf_movingFrom(gf_landingTrack(gf_runwayEnd(runways, "27"), 5.0), 10.0));
    add({.hexid = 4738004, .callsign = "EZY7923", .type = "A320", .registration = "G-EZAB",
         .origin = "LGW", .destination = "AMS", .airline = "EZY"},
        gf_movingFrom(gf_landingTrack(gf_runwayEnd(runways, "06"), 4.0), 35.0));
    add({.hexid = 4738006, .callsign = "DLH2307", .type = "A20N", .registration = "D-AINA",
         .origin = "FRA", .destination = "AMS", .airline = "DLH"},
        gf_movingFrom(gf_taxiTrack({{52.3095, 4.7600}, {52.3095, 4.7520}, {52.3060, 4.7520}, {52.3060, 4.7440}},
                                   kElevationFt, 14.0),
                      5.0));
    add({.hexid = 4738007, .callsign = "KLM605", .type = "B77W", .registration = "PH-BVA",
         .origin = "AMS", .destination = "JFK", .airline = "KLM"},
        gf_movingFrom(gf_cruiseTrack(lf_from(kAirport, 250.0, 6.0), 8000.0, 260.0, 60.0, 200.0), 25.0));
    add({.hexid = 4738008, .callsign = "BAW8TN", .type = "A320", .registration = "G-EUUB",
         .origin = "LHR", .destination = "CPH", .airline = "BAW"},
        gf_movingFrom(gf_cruiseTrack(lf_from(kAirport, 200.0, 7.0), 12000.0, 280.0, 20.0, 200.0), 0.0));
    add({.hexid = 4738010, .callsign = "UAE148", .type = "A388", .registration = "A6-EDA",
         .origin = "DXB", .destination = "AMS", .airline = "UAE"},
        gf_movingFrom(gf_cruiseTrack(lf_from(kAirport, 330.0, 8.0), 30000.0, 450.0, 140.0, 200.0), 15.0));
    // The ground's hard cases: right-angle taxi corners at 25 kt, a
    // high-speed exit, an arrival next seen 500 m back on the parallel
    // taxiway, a departure that drives off forward from beside the runway,
    // and a light aircraft with multilateration jumps.
    add({.hexid = 4738011, .callsign = "KLM1721", .type = "E190", .registration = "PH-EZC",
         .origin = "AMS", .destination = "BLL", .airline = "KLM"},
        gf_movingFrom(gf_taxiCornersTrack({52.2950, 4.7900}, 0.0, kElevationFt, 25.0), 10.0));
    add({.hexid = 4738012, .callsign = "EZY8811", .type = "A320", .registration = "G-EZAD",
         .origin = "LGW", .destination = "AMS", .airline = "EZY"},
        gf_movingFrom(gf_highSpeedExitTrack(gf_runwayEnd(runways, "18C")), 0.0));
    add({.hexid = 4738013, .callsign = "TRA6410", .type = "B738", .registration = "PH-HXD",
         .origin = "AGP", .destination = "AMS", .airline = "TRA"},
        gf_movingFrom(gf_turnBackArrivalTrack(gf_runwayEnd(runways, "36R")), 0.0));
    add({.hexid = 4738014, .callsign = "DLH2409", .type = "A20N", .registration = "D-AINC",
         .origin = "AMS", .destination = "FRA", .airline = "DLH"},
        gf_standToTakeOffTrack(gf_runwayEnd(runways, "36C"), 30.0));
    add({.hexid = 4738015, .callsign = "PHABC", .type = "C172", .registration = "PH-ABC", .category = "A1"},
        gf_movingFrom(gf_cruiseTrack(lf_from(kAirport, 225.0, 4.0), 1500.0, 100.0, 45.0, 200.0), 5.0), 400.0);
    s.parked = gf_amsterdamDemoParked();
    return s;
}

std::vector<AppParked> gf_amsterdamDemoParked()
{
    return {{4738100, "KLM1822", "B738", "PH-BXD", "D2", 52.3093, 4.7622},
            {4738101, "KLM1402", "E190", "PH-EZB", "D4", 52.3096, 4.7630},
            {4738102, "TRA6123", "B738", "PH-HXC", "E7", 52.3108, 4.7661},
            {4738103, "KLM883", "B789", "PH-BHA", "F3", 52.3121, 4.7680},
            {4738105, "EZY7925", "A320", "G-EZAC", "H1", 52.3062, 4.7738}};
}

nlohmann::json gf_scenarioJson(const RtAppScenario& scenario)
{
    nlohmann::json aircraft = nlohmann::json::array();
    for (const ScenarioAircraft& sa : scenario.aircraft) {
        const AppAircraft& a = sa.start;
        nlohmann::json j{{"hexid", a.hexid},     {"callsign", a.callsign},       {"type", a.type},
                         {"registration", a.registration}, {"origin", a.origin}, {"destination", a.destination},
                         {"airline", a.airline}, {"category", a.category},       {"lat", a.lat},
                         {"lon", a.lon},         {"altitude", a.altitude},       {"gs", a.groundSpeed},
                         {"track", a.track}};
        if (sa.reports)
            j["reports"] = true;
        if (!sa.track.empty()) {
            nlohmann::json points = nlohmann::json::array();
            for (const TrackPoint& p : sa.track)
                points.push_back({p.t, p.lat, p.lon, p.altFt, p.gsKt, p.trackDeg, p.vsFpm});
            j["points"] = std::move(points);
        } else {
            nlohmann::json legs = nlohmann::json::array();
            for (const ScenarioLeg& l : sa.legs)
                legs.push_back({{"seconds", l.seconds}, {"accel", l.accel}, {"vs", l.vs}, {"turn", l.turn}});
            j["legs"] = std::move(legs);
        }
        aircraft.push_back(std::move(j));
    }
    nlohmann::json parked = nlohmann::json::array();
    for (const AppParked& p : scenario.parked)
        parked.push_back({{"hexid", p.hexid}, {"callsign", p.callsign}, {"type", p.type},
                          {"registration", p.registration}, {"stand", p.stand}, {"lat", p.lat}, {"lon", p.lon}});
    return {{"airport", scenario.airport}, {"metar", scenario.metar}, {"loop_seconds", scenario.loopSeconds},
            {"aircraft", aircraft}, {"parked", parked}};
}

} // namespace kvr::standin
