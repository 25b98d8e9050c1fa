// The HTTP layer of RT Direct mode: one libcurl easy handle per transport, one
// blocking form POST per request, and the common reading of the web API's
// JSON replies.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

typedef void CURL; // as <curl/curl.h> declares it

// The longest reply body kept. A busy traffic answer is well under 1 MiB; a
// longer reply (a server fault, or a compressed body that inflates without
// end) ends the transfer as a transport failure.
inline constexpr size_t kMaxRTAPIReplyBytes = 4 * 1024 * 1024;

// The web API's base URL is "https://" + the host fixed at build time.
// Test seam: every later request goes to `baseUrl` (for instance
// "http://127.0.0.1:5000"); an empty text restores the built-in host.
void gf_setRTApiBaseUrlForTesting(std::string baseUrl);
// Base URL + path, e.g. "/v6/auth".
std::string gf_rtApiUrl(std::string_view path);

struct RTAPIRequestOptions {
    int32_t connectTimeoutS = 0; // set on the handle only when > 0
    int32_t timeoutS = 0;        // whole transfer; set only when > 0
    bool freshConnection = false;
    // Also abort the transfer once a stop request is published (gf_keepRunning
    // false): used where no reader stop flag exists, i.e. at sign-in.
    bool abortOnStopRequest = false;
};

struct RTAPIHttpResponse {
    uint32_t httpStatus = 0;
    std::string_view body; // valid until the next request on the same transport
    // The seconds the server asked to wait before the next request
    // ("Retry-After"); 0 when it asked nothing.
    uint32_t retryAfterS = 0;
};

struct RTAPITransportError {
    uint32_t curlCode = 0;
    std::string message;
};

using RTAPIRequestResult = std::variant<RTAPIHttpResponse, RTAPITransportError>;

// A transfer that found no server for the moment: the name lookup, the
// connection or the exchange failed (refused, reset, cut off, timed out), as
// while the network drops or comes back. Other transport errors (a refused
// certificate, an overlong reply, an abort, a bad option) do not pass by
// themselves.
bool gf_isPassingTransportError(uint32_t curlCode);
// libcurl's own text of a code, e.g. "Couldn't connect to server".
std::string gf_curlErrorText(uint32_t curlCode);

class RTAPITransport {
public:
    // Throws std::runtime_error "RTAPITransport curl_easy_init() failed".
    explicit RTAPITransport(size_t reserve);
    ~RTAPITransport();
    RTAPITransport(const RTAPITransport&) = delete;
    RTAPITransport& operator=(const RTAPITransport&) = delete;

    // A new easy handle (the old one is cleaned up) and an empty response.
    void resetHandle();
    // One blocking POST of `body` to `url`. The transfer ends early when
    // `abortFlag` is set (or, with abortOnStopRequest, on a stop request).
    RTAPIRequestResult request(const std::string& url, std::string_view body, const RTAPIRequestOptions& options,
                               const std::atomic<bool>* abortFlag = nullptr);
    // The value percent-encoded for a form body (every byte but A-Z a-z 0-9 - . _ ~).
    std::string escape(std::string_view value);

    size_t responseCapacity() const noexcept { return response.capacity(); }

private:
    CURL* handle = nullptr;
    std::string response;
    size_t reserved = 0;
};

// Which numeric member a successful reply carries as the next request interval.
struct RTAPILimitSpec {
    std::string_view key; // empty = none
    int32_t defaultValue = 2000;
    int32_t min = 250;
    int32_t max = 60000;
};
inline constexpr RTAPILimitSpec g_rrlLimitSpec{"rrl", 2000, 250, 60000};
inline constexpr RTAPILimitSpec g_noLimitSpec{"", 2000, 250, 60000};

// A reply that was read as a JSON object.
struct RTAPIReply {
    int32_t apiStatus = 100; // member "status"; 100 when absent or unusable
    int32_t httpStatus = 0;
    uint32_t retryAfterS = 0; // see RTAPIHttpResponse
    int32_t limitMs = 2000;
    std::string message;
    nlohmann::json data; // member "data", null when absent
};

struct RTAPIParseError {
    std::string context;
    std::string message;
};

enum : uint8_t { RTAPIFailureTransport = 0, RTAPIFailureHttp = 1, RTAPIFailureParse = 2 };

// A request that failed or a reply that was not a JSON object.
struct RTAPIFailure {
    uint8_t kind = RTAPIFailureTransport;
    uint32_t httpStatus = 0;
    std::string context;
    std::string message;
    uint32_t retryAfterS = 0; // see RTAPIHttpResponse
};

// "transport", "http", "parse".
std::string_view gf_rtApiFailureKindText(uint8_t kind);

// Reads a reply body; logs a missing or clamped limit value.
std::variant<RTAPIReply, RTAPIParseError> gf_parseRTAPIResponse(std::string_view body, std::string_view context,
                                                                const RTAPILimitSpec& spec);
// The same plus the HTTP status: a body that was read is a reply whatever the
// HTTP status; one that was not is an http failure for 1-199 and 300 and above,
// else a parse failure.
std::variant<RTAPIReply, RTAPIFailure> gf_handleRTAPIHttpStatus(const RTAPIHttpResponse& response,
                                                                std::string_view context, const RTAPILimitSpec& spec);
// A whole reader request: POST, then the reading above; a transport error
// becomes a failure of kind transport with HTTP status 0.
std::variant<RTAPIReply, RTAPIFailure> gf_postRTAPIRequest(RTAPITransport& transport, std::string_view path,
                                                           std::string_view body, const RTAPIRequestOptions& options,
                                                           const std::atomic<bool>* abortFlag, std::string_view context,
                                                           const RTAPILimitSpec& spec);

// The i32 value of a JSON integer member (signed or unsigned); none otherwise.
std::optional<int32_t> gf_jsonInt32(const nlohmann::json& object, std::string_view key);
