// A stand-in for the RealTraffic web API: an HTTP/1.1 server on 127.0.0.1
// (cpp-httplib) that answers /v6/auth, /v6/deauth, /v6/traffic and
// /v6/nearestmetar with form-encoded POST bodies and JSON answers. It records
// every request and can be scripted per endpoint. Like the service it refuses
// a request that lacks a parameter (400) and a traffic query of any kind
// (buffer, live or parked) sooner than the interval it gave out ("rrl") after
// the previous one (406); buffer slices are named newest first.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace kvr::standin {

class RTWebApi {
public:
    // One scripted answer, served once before the endpoint's own behaviour.
    struct Reply {
        int httpStatus = 200;
        std::string body;
        std::string contentType = "application/json";
        int delayMs = 0;
        // Accept the request and never answer (until the stand-in stops).
        bool hang = false;
        // When above 0, sent as the "Retry-After" header (seconds).
        int retryAfterS = 0;
    };

    // One request as it arrived.
    struct Request {
        std::string path;
        std::string body;                         // raw form body
        std::map<std::string, std::string> form;  // decoded fields
        int remotePort = -1;                      // the client's port: equal ports = one connection
    };

    // One aircraft of the served traffic; it flies its track at its speed.
    struct Aircraft {
        uint32_t hexid = 0;
        double lat = 0.0;
        double lon = 0.0;
        double altitudeFt = 0.0;
        double groundSpeedKt = 0.0;
        double trackDeg = 0.0;
        double verticalSpeedFpm = 0.0;
        std::string callsign;
        std::string type;
        std::string registration;
        std::string origin;
        std::string destination;
        std::string airline;
        std::string squawk = "1000";
        std::string source = "adsb_icao";
        std::string category = "A3";
    };

    // One parked aircraft.
    struct Parked {
        std::string hexKey; // hexadecimal digits
        double lat = 0.0;
        double lon = 0.0;
        std::string stand;
        std::string type;
        std::string registration;
        std::string callsign;
        int64_t timeSeconds = 0; // 0 = now
    };

    // Starts on a free port of 127.0.0.1.
    RTWebApi();
    // Starts on the given port (0 = a free one).
    explicit RTWebApi(int port);
    ~RTWebApi();
    RTWebApi(const RTWebApi&) = delete;
    RTWebApi& operator=(const RTWebApi&) = delete;

    int port() const { return boundPort; }
    // "http://127.0.0.1:<port>"
    std::string baseUrl() const;
    // Stops serving; waiting requests are released without an answer.
    void stop();

    // ---- Scripting ----
    // `path` is an endpoint; "/v6/traffic" scripts the live traffic queries,
    // "/v6/traffic#buffer" and "/v6/traffic#parked" the buffer and parked ones.
    void queueReply(const std::string& path, Reply reply);
    // A bad spell of `path`: one query never answered (the client's time-out
    // ends it), a 500 page, a 429 page, then three answers of plain garbage
    // ("%%garbage%%"). Six queries in all.
    void queueBadSpell(const std::string& path);
    // While held, the queries of `path` (named as for queueReply) wait
    // unanswered; releasing answers them as they would have been.
    void holdReplies(const std::string& path, bool hold);
    // {"status":apiStatus,"message":message} with the given HTTP status.
    static Reply jsonStatus(int apiStatus, const std::string& message, int httpStatus = 200);
    // A non-JSON page with the given HTTP status.
    static Reply htmlPage(int httpStatus);

    void setCredential(std::string credential);
    void setServerName(std::string name);
    void setRrl(std::optional<int64_t> rrl);  // none = member left out
    void setWrrl(std::optional<int64_t> wrrl);
    void setLicenseType(int type);
    void setExpiry(std::optional<int64_t> secondsSince1970);
    // Keep-alive: how many requests one connection may carry (1 = none).
    void setKeepAliveMaxCount(size_t count);
    void setTraffic(std::vector<Aircraft> aircraft);
    // Leaves the named buffer slices ("buffer_3", ...) out of buffer answers.
    void omitBufferSlices(std::vector<std::string> names);
    void setParked(std::vector<Parked> parked);
    void setMetars(std::vector<std::string> metars);
    // The session a later request must name; sign-in makes a new one.
    std::string currentGuid() const;
    // Forgets the session, as if the server had dropped it.
    void dropSession();

    // ---- Observation ----
    std::vector<Request> requests() const;
    size_t count(const std::string& path) const;
    // Traffic queries refused with 406 for coming sooner than "rrl" allows.
    size_t rateViolationCount() const;
    // Waits until `n` requests reached `path`; false after the timeout.
    bool waitForCount(const std::string& path, size_t n, std::chrono::milliseconds timeout) const;

    // A small scenario around a point: `n` aircraft on circles of 5 to 25 NM.
    static std::vector<Aircraft> scenarioAround(double lat, double lon, int n);
    static std::vector<Parked> parkedAround(double lat, double lon, int n);

private:
    void start(int port);
    void handle(const std::string& path, const httplib::Request& req, httplib::Response& res);
    void serveDefault(const std::string& path, const Request& r, httplib::Response& res);
    std::string trafficAnswer(const Request& r);
    std::string parkedAnswer(const Request& r);
    // Waits `ms` or until the stand-in stops; false when stopped.
    bool pause(std::chrono::milliseconds ms);

    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int boundPort = 0;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool stopping = false;
    std::map<std::string, std::deque<Reply>> scripted;
    std::set<std::string> held;
    std::vector<Request> log;
    std::string credential = "test-license";
    std::string serverName = "standin-1";
    std::optional<int64_t> rrl = 2000;
    std::optional<int64_t> wrrl = 2000;
    int licenseType = 1;
    std::optional<int64_t> expiry;
    std::optional<std::chrono::steady_clock::time_point> lastTrafficQuery;
    size_t rateViolations = 0;
    std::string guid;
    uint64_t sessions = 0;
    std::vector<Aircraft> traffic;
    std::vector<std::string> omittedSlices;
    std::vector<Parked> parked;
    std::vector<std::string> metars{"EHAM 071225Z 24012KT 9999 FEW020 08/04 Q1013"};
    std::chrono::system_clock::time_point startTime = std::chrono::system_clock::now();
};

} // namespace kvr::standin
