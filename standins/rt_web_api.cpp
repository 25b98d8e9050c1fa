// The stand-in RealTraffic web API.
#include "standins/rt_web_api.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <fmt/format.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

namespace kvr::standin {

namespace {

constexpr double kPi = 3.14159265358979323846;

double lf_formNumber(const std::map<std::string, std::string>& form, const char* key, double fallback)
{
    const auto it = form.find(key);
    if (it == form.end())
        return fallback;
    try {
        return std::stod(it->second);
    } catch (...) {
        return fallback;
    }
}

// The aircraft `seconds` after the scenario began, flown along its track.
RTWebApi::Aircraft lf_advance(RTWebApi::Aircraft a, double seconds)
{
    const double nm = a.groundSpeedKt * seconds / 3600.0;
    const double trk = a.trackDeg * kPi / 180.0;
    a.lat += nm * std::cos(trk) / 60.0;
    a.lon += nm * std::sin(trk) / (60.0 * std::max(0.01, std::cos(a.lat * kPi / 180.0)));
    a.altitudeFt = std::max(0.0, a.altitudeFt + a.verticalSpeedFpm * seconds / 60.0);
    return a;
}

// The 49-element array of one aircraft at one time.
nlohmann::json lf_trafficArray(const RTWebApi::Aircraft& a, double timestamp)
{
    nlohmann::json arr = nlohmann::json::array();
    for (int i = 0; i < 49; ++i)
        arr.push_back(nullptr);
    arr[0] = fmt::format("{:x}", a.hexid);
    arr[1] = a.lat;
    arr[2] = a.lon;
    arr[3] = a.trackDeg;
    arr[4] = a.altitudeFt;
    arr[5] = a.groundSpeedKt;
    arr[6] = a.squawk;
    arr[7] = "X";
    arr[8] = a.type;
    arr[9] = a.registration;
    arr[10] = timestamp;
    arr[11] = a.origin;
    arr[12] = a.destination;
    arr[13] = a.callsign;
    arr[14] = 0;
    arr[15] = a.verticalSpeedFpm;
    arr[17] = a.source;
    arr[20] = -1.0;
    arr[23] = 0.0;
    arr[25] = a.trackDeg;
    arr[28] = a.category;
    arr[48] = a.airline;
    return arr;
}

} // namespace

RTWebApi::RTWebApi() : RTWebApi(0) {}

RTWebApi::RTWebApi(int port)
{
    start(port);
}

RTWebApi::~RTWebApi()
{
    stop();
}

void RTWebApi::start(int port)
{
    server = std::make_unique<httplib::Server>();
    for (const char* path : {"/v6/auth", "/v6/deauth", "/v6/traffic", "/v6/nearestmetar"}) {
        const std::string p = path;
        server->Post(path, [this, p](const httplib::Request& req, httplib::Response& res) { handle(p, req, res); });
    }
    server->set_keep_alive_timeout(5);
    boundPort = port == 0 ? server->bind_to_any_port("127.0.0.1") : (server->bind_to_port("127.0.0.1", port) ? port : -1);
    if (boundPort <= 0)
        throw std::runtime_error("RTWebApi: cannot bind 127.0.0.1");
    thread = std::thread([this] { server->listen_after_bind(); });
    while (!server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void RTWebApi::stop()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    if (server)
        server->stop();
    if (thread.joinable())
        thread.join();
}

std::string RTWebApi::baseUrl() const
{
    return fmt::format("http://127.0.0.1:{}", boundPort);
}

bool RTWebApi::pause(std::chrono::milliseconds ms)
{
    std::unique_lock lock(mutex);
    return !changed.wait_for(lock, ms, [this] { return stopping; });
}

void RTWebApi::holdReplies(const std::string& path, bool hold)
{
    {
        std::lock_guard lock(mutex);
        if (hold)
            held.insert(path);
        else
            held.erase(path);
    }
    changed.notify_all();
}

void RTWebApi::handle(const std::string& path, const httplib::Request& req, httplib::Response& res)
{
    Request r;
    r.path = path;
    r.body = req.body;
    r.remotePort = req.remote_port;
    for (const auto& [k, v] : req.params)
        r.form[k] = v;
    std::optional<Reply> reply;
    {
        std::unique_lock lock(mutex);
        log.push_back(r);
        // Traffic queries of one kind can be scripted apart from the others.
        std::string key = path;
        if (path == "/v6/traffic") {
            const auto type = r.form.find("querytype");
            if (type != r.form.end() && type->second == "parkedtraffic")
                key += "#parked";
            else if (r.form.count("buffercount"))
                key += "#buffer";
        }
        if (held.contains(key)) {
            changed.notify_all();
            changed.wait(lock, [&] { return stopping || !held.contains(key); });
            if (stopping) {
                res.status = 500;
                return;
            }
        }
        auto& q = scripted[key];
        if (!q.empty()) {
            reply = std::move(q.front());
            q.pop_front();
        }
    }
    changed.notify_all();
    if (reply) {
        if (reply->hang) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [this] { return stopping; });
            res.status = 500; // never reaches a client that is still waiting
            return;
        }
        if (reply->delayMs > 0 && !pause(std::chrono::milliseconds(reply->delayMs)))
            return;
        res.status = reply->httpStatus;
        if (reply->retryAfterS > 0)
            res.set_header("Retry-After", std::to_string(reply->retryAfterS));
        res.set_content(reply->body, reply->contentType.c_str());
        return;
    }
    serveDefault(path, r, res);
}

void RTWebApi::serveDefault(const std::string& path, const Request& r, httplib::Response& res)
{
    std::lock_guard lock(mutex);
    nlohmann::json out = nlohmann::json::object();
    // The service refuses a request that lacks one of its parameters.
    const auto lacks = [&](std::initializer_list<const char*> names) {
        for (const char* name : names)
            if (!r.form.count(name))
                return true;
        return false;
    };
    const auto refuseMissing = [&] { out = {{"status", 400}, {"message", "Missing or invalid parameters"}}; };
    if (path == "/v6/auth") {
        const auto lic = r.form.find("license");
        const auto tok = r.form.find("token");
        const std::string given = lic != r.form.end() ? lic->second : tok != r.form.end() ? tok->second : "";
        if ((lic == r.form.end() && tok == r.form.end()) || lacks({"software"})) {
            refuseMissing();
        } else if (given != credential || given.empty()) {
            out = {{"status", 404}, {"message", "License not found"}};
        } else {
            guid = fmt::format("{:08x}-0000-4000-8000-{:012x}", static_cast<uint32_t>(boundPort), ++sessions);
            lastTrafficQuery.reset();
            out = {{"status", 200}, {"GUID", guid}, {"server", serverName}, {"type", licenseType}};
            if (rrl)
                out["rrl"] = *rrl;
            if (wrrl)
                out["wrrl"] = *wrrl;
            if (expiry)
                out["expiry"] = *expiry;
        }
    } else if (path == "/v6/deauth") {
        const auto g = r.form.find("GUID");
        if (g != r.form.end() && !guid.empty() && g->second == guid) {
            guid.clear();
            out = {{"status", 200}, {"message", "Logged off from"}, {"server", serverName}};
        } else {
            out = {{"status", 401}, {"message", "GUID not found"}};
        }
    } else {
        const auto g = r.form.find("GUID");
        if (g == r.form.end() || guid.empty() || g->second != guid) {
            out = {{"status", 401}, {"message", "Invalid GUID"}};
        } else if (path == "/v6/nearestmetar" && lacks({"lat", "lon", "toffset"})) {
            refuseMissing();
        } else if (path == "/v6/traffic" &&
                   (lacks({"top", "bottom", "left", "right", "querytype", "toffset"}) ||
                    (r.form.at("querytype") != "locationtraffic" && r.form.at("querytype") != "parkedtraffic"))) {
            refuseMissing();
        } else if (path == "/v6/traffic" && rrl && lastTrafficQuery &&
                   std::chrono::steady_clock::now() - *lastTrafficQuery < std::chrono::milliseconds(*rrl)) {
            // Faster than the interval the service gave out, whatever the kind of query.
            const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - *lastTrafficQuery);
            out = {{"status", 406},
                   {"message", fmt::format("Request rate violation: {} ms since the last traffic request, rrl {} ms",
                                           since.count(), *rrl)}};
            ++rateViolations;
        } else if (path == "/v6/nearestmetar") {
            nlohmann::json stations = nlohmann::json::array();
            for (const auto& m : metars)
                stations.push_back({{"ICAO", m.substr(0, 4)}, {"METAR", m}});
            out = {{"status", 200}, {"data", stations}};
        } else if (r.form.count("querytype") && r.form.at("querytype") == "parkedtraffic") {
            lastTrafficQuery = std::chrono::steady_clock::now();
            out = nlohmann::json::parse(parkedAnswer(r));
        } else {
            lastTrafficQuery = std::chrono::steady_clock::now();
            out = nlohmann::json::parse(trafficAnswer(r));
        }
        if (path == "/v6/traffic" && out.value("status", 0) == 200) {
            if (rrl)
                out["rrl"] = *rrl;
        }
    }
    res.status = 200;
    res.set_content(out.dump(), "application/json");
}

std::string RTWebApi::trafficAnswer(const Request& r)
{
    const double top = lf_formNumber(r.form, "top", 90), bottom = lf_formNumber(r.form, "bottom", -90);
    const double left = lf_formNumber(r.form, "left", -180), right = lf_formNumber(r.form, "right", 180);
    const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    const double elapsed = std::chrono::duration<double>(std::chrono::system_clock::now() - startTime).count();
    const double toffset = lf_formNumber(r.form, "toffset", 0) * 60.0;

    auto slice = [&](double secondsBack) {
        nlohmann::json data = nlohmann::json::object();
        for (const auto& a0 : traffic) {
            const Aircraft a = lf_advance(a0, elapsed - secondsBack);
            if (a.lat > top || a.lat < bottom || a.lon < left || a.lon > right)
                continue;
            data[fmt::format("{:x}", a.hexid)] = lf_trafficArray(a, now - toffset - secondsBack);
        }
        return data;
    };

    nlohmann::json out = {{"status", 200}};
    const int count = static_cast<int>(lf_formNumber(r.form, "buffercount", 0));
    if (count > 0) {
        const double step = lf_formNumber(r.form, "buffertime", 6);
        nlohmann::json data = nlohmann::json::object();
        for (int i = 0; i < count; ++i) {
            const std::string name = fmt::format("buffer_{}", i);
            if (std::find(omittedSlices.begin(), omittedSlices.end(), name) != omittedSlices.end())
                continue;
            data[name] = slice((i + 1) * step); // buffer_0 is the newest slice
        }
        out["data"] = std::move(data);
    } else {
        out["data"] = slice(0.0);
    }
    return out.dump();
}

std::string RTWebApi::parkedAnswer(const Request&)
{
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    nlohmann::json data = nlohmann::json::object();
    for (const auto& p : parked)
        data[p.hexKey] = {p.lat, p.lon, p.stand, p.type, p.registration, p.timeSeconds ? p.timeSeconds : now,
                          p.callsign};
    return nlohmann::json{{"status", 200}, {"data", data}}.dump();
}

void RTWebApi::queueReply(const std::string& path, Reply reply)
{
    std::lock_guard lock(mutex);
    scripted[path].push_back(std::move(reply));
}

void RTWebApi::queueBadSpell(const std::string& path)
{
    Reply silent;
    silent.hang = true;
    queueReply(path, silent);
    queueReply(path, htmlPage(500));
    queueReply(path, htmlPage(429));
    Reply garbage;
    garbage.body = "%%garbage%%";
    garbage.contentType = "text/plain";
    for (int i = 0; i < 3; ++i)
        queueReply(path, garbage);
}

RTWebApi::Reply RTWebApi::jsonStatus(int apiStatus, const std::string& message, int httpStatus)
{
    Reply r;
    r.httpStatus = httpStatus;
    r.body = nlohmann::json{{"status", apiStatus}, {"message", message}}.dump();
    return r;
}

RTWebApi::Reply RTWebApi::htmlPage(int httpStatus)
{
    Reply r;
    r.httpStatus = httpStatus;
    r.contentType = "text/html";
    r.body = fmt::format("<html><head><title>{} Error</title></head><body>Server error {}</body></html>", httpStatus,
                         httpStatus);
    return r;
}

void RTWebApi::setCredential(std::string c)
{
    std::lock_guard lock(mutex);
    credential = std::move(c);
}
void RTWebApi::setServerName(std::string name)
{
    std::lock_guard lock(mutex);
    serverName = std::move(name);
}
void RTWebApi::setRrl(std::optional<int64_t> v)
{
    std::lock_guard lock(mutex);
    rrl = v;
}
void RTWebApi::setWrrl(std::optional<int64_t> v)
{
    std::lock_guard lock(mutex);
    wrrl = v;
}
void RTWebApi::setLicenseType(int type)
{
    std::lock_guard lock(mutex);
    licenseType = type;
}
void RTWebApi::setExpiry(std::optional<int64_t> s)
{
    std::lock_guard lock(mutex);
    expiry = s;
}
void RTWebApi::setKeepAliveMaxCount(size_t count)
{
    server->set_keep_alive_max_count(count);
}
void RTWebApi::setTraffic(std::vector<Aircraft> aircraft)
{
    std::lock_guard lock(mutex);
    traffic = std::move(aircraft);
    startTime = std::chrono::system_clock::now();
}
void RTWebApi::omitBufferSlices(std::vector<std::string> names)
{
    std::lock_guard lock(mutex);
    omittedSlices = std::move(names);
}
void RTWebApi::setParked(std::vector<Parked> p)
{
    std::lock_guard lock(mutex);
    parked = std::move(p);
}
void RTWebApi::setMetars(std::vector<std::string> m)
{
    std::lock_guard lock(mutex);
    metars = std::move(m);
}
std::string RTWebApi::currentGuid() const
{
    std::lock_guard lock(mutex);
    return guid;
}
void RTWebApi::dropSession()
{
    std::lock_guard lock(mutex);
    guid.clear();
}

std::vector<RTWebApi::Request> RTWebApi::requests() const
{
    std::lock_guard lock(mutex);
    return log;
}

size_t RTWebApi::count(const std::string& path) const
{
    std::lock_guard lock(mutex);
    return static_cast<size_t>(std::count_if(log.begin(), log.end(), [&](const Request& r) { return r.path == path; }));
}

size_t RTWebApi::rateViolationCount() const
{
    std::lock_guard lock(mutex);
    return rateViolations;
}

bool RTWebApi::waitForCount(const std::string& path, size_t n, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [&] {
        return static_cast<size_t>(std::count_if(log.begin(), log.end(),
                                                 [&](const Request& r) { return r.path == path; })) >= n;
    });
}

std::vector<RTWebApi::Aircraft> RTWebApi::scenarioAround(double lat, double lon, int n)
{
    static const char* const types[] = {"A320", "B738", "E190", "A333", "B77W", "DH8D"};
    static const char* const airlines[] = {"KLM", "EZY", "DLH", "BAW", "AFR", "RYR"};
    static const char* const airports[] = {"AMS", "LHR", "FRA", "CDG", "MAD", "CPH"};
    std::vector<Aircraft> out;
    for (int i = 0; i < n; ++i) {
        Aircraft a;
        const double bearing = 2 * kPi * i / std::max(1, n);
        const double nm = 5.0 + 20.0 * (i % 5) / 4.0;
        a.hexid = 0x484000u + static_cast<uint32_t>(i) * 0x101u;
        a.lat = lat + nm * std::cos(bearing) / 60.0;
        a.lon = lon + nm * std::sin(bearing) / (60.0 * std::cos(lat * kPi / 180.0));
        a.altitudeFt = 3000.0 + 2500.0 * (i % 6);
        a.groundSpeedKt = 180.0 + 20.0 * (i % 7);
        a.trackDeg = std::fmod(bearing * 180.0 / kPi + 90.0, 360.0);
        a.verticalSpeedFpm = (i % 3 - 1) * 800.0;
        a.airline = airlines[i % 6];
        a.callsign = fmt::format("{}{}", a.airline, 100 + i);
        a.type = types[i % 6];
        a.registration = fmt::format("PH-{}{}{}", char('A' + i % 26), char('B' + i % 25), char('C' + i % 24));
        a.origin = airports[i % 6];
        a.destination = airports[(i + 1) % 6];
        out.push_back(std::move(a));
    }
    return out;
}

std::vector<RTWebApi::Parked> RTWebApi::parkedAround(double lat, double lon, int n)
{
    std::vector<Parked> out;
    for (int i = 0; i < n; ++i) {
        Parked p;
        p.hexKey = fmt::format("{:x}", 0x485000u + static_cast<uint32_t>(i));
        p.lat = lat + 0.002 * (i % 10);
        p.lon = lon + 0.002 * (i / 10);
        p.stand = fmt::format("D{}", i + 1);
        p.type = i % 2 ? "B738" : "A320";
        p.registration = fmt::format("PH-P{}{}", char('A' + i % 26), char('A' + (i / 26) % 26));
        p.callsign = fmt::format("KLM{}", 500 + i);
        out.push_back(std::move(p));
    }
    return out;
}

} // namespace kvr::standin
