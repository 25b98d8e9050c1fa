// libcurl easy requests to the RealTraffic web API and the reading of its replies.
#include "feed/rt_api_transport.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <new>
#include <stdexcept>

#include <curl/curl.h>
#include <sodium.h>
#include <fmt/format.h>

#include "core/log.h"
#include "core/stop_request.h"
#include "feed/received_text.h"

#ifndef KELO_RT_API_HOST
#error "KELO_RT_API_HOST must name the RealTraffic web API host"
#endif

namespace {

// The built-in base URL: the web API over HTTPS, or in a demo build the
// stand-in named at build time.
std::string lf_builtInBaseUrl()
{
#ifdef KELO_RT_API_DEMO_URL
    return KELO_RT_API_DEMO_URL;
#else
    return std::string("https://") + KELO_RT_API_HOST;
#endif
}

std::mutex g_baseUrlMutex;
std::string g_baseUrl = lf_builtInBaseUrl();

struct AbortState {
    const std::atomic<bool>* flag = nullptr;
    bool onStopRequest = false;
};

// Where a transfer's body goes: the response string, up to the reply limit.
struct ResponseSink {
    std::string* response = nullptr;
    bool overflow = false;
};

size_t lf_appendResponse(char* data, size_t size, size_t count, void* userdata)
{
    if (size != 0 && count > std::numeric_limits<size_t>::max() / size)
        return 0;
    const size_t n = size * count;
    auto* sink = static_cast<ResponseSink*>(userdata);
    if (n > kMaxRTAPIReplyBytes - std::min(sink->response->size(), kMaxRTAPIReplyBytes)) {
        sink->overflow = true;
        return 0;
    }
    try {
        sink->response->append(data, n);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return n;
}

int lf_abortTransfer(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* state = static_cast<const AbortState*>(userdata);
    if (state->flag && state->flag->load())
        return 1;
    if (state->onStopRequest && !gf_keepRunning())
        return 1;
    return 0;
}

CURL* lf_newHandle()
{
    CURL* h = curl_easy_init();
    if (!h)
        throw std::runtime_error("RTAPITransport curl_easy_init() failed");
    return h;
}

} // namespace

void gf_setRTApiBaseUrlForTesting(std::string baseUrl)
{
    std::lock_guard lock(g_baseUrlMutex);
    g_baseUrl = baseUrl.empty() ? lf_builtInBaseUrl() : std::move(baseUrl);
}

std::string gf_rtApiUrl(std::string_view path)
{
    std::lock_guard lock(g_baseUrlMutex);
    return g_baseUrl + std::string(path);
}

RTAPITransport::RTAPITransport(size_t reserve) : handle(lf_newHandle()), reserved(reserve)
{
    response.reserve(reserve);
}

RTAPITransport::~RTAPITransport()
{
    curl_easy_cleanup(handle);
}

void RTAPITransport::resetHandle()
{
    CURL* fresh = lf_newHandle();
    curl_easy_cleanup(handle);
    handle = fresh;
    response.clear();
}

std::string RTAPITransport::escape(std::string_view value)
{
    if (value.empty())
        return {};
    char* escaped = curl_easy_escape(handle, value.data(), static_cast<int>(value.size()));
    if (!escaped)
        throw std::bad_alloc();
    std::string out(escaped);
    // The escaped text may hold the credential: wipe it before it is freed.
    sodium_memzero(escaped, out.size());
    curl_free(escaped);
    return out;
}

RTAPIRequestResult RTAPITransport::request(const std::string& url, std::string_view body,
                                           const RTAPIRequestOptions& options, const std::atomic<bool>* abortFlag)
{
    if (!handle)
        throw std::runtime_error("RTAPITransport curl_easy_init() failed");
    response.clear();
    curl_easy_reset(handle);

    AbortState abort{abortFlag, options.abortOnStopRequest};
    const bool withAbort = abortFlag != nullptr || options.abortOnStopRequest;

    auto fail = [&](const char* name, CURLcode code) {
        return RTAPITransportError{static_cast<uint32_t>(code),
                                   fmt::format("failed to set {}: {}", name, curl_easy_strerror(code))};
    };
#define KELO_SETOPT(opt, value)                                                                                        \
    do {                                                                                                               \
        const CURLcode c = curl_easy_setopt(handle, opt, value);                                                       \
        if (c != CURLE_OK)                                                                                             \
            return fail(#opt, c);                                                                                      \
    } while (false)

    KELO_SETOPT(CURLOPT_URL, url.c_str());
    KELO_SETOPT(CURLOPT_ACCEPT_ENCODING, "deflate,gzip");
    KELO_SETOPT(CURLOPT_POSTFIELDS, body.data());
    KELO_SETOPT(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    KELO_SETOPT(CURLOPT_WRITEFUNCTION, &lf_appendResponse);
    ResponseSink sink{&response};
    KELO_SETOPT(CURLOPT_WRITEDATA, static_cast<void*>(&sink));
    if (options.connectTimeoutS > 0)
        KELO_SETOPT(CURLOPT_CONNECTTIMEOUT, static_cast<long>(options.connectTimeoutS));
    if (options.timeoutS > 0)
        KELO_SETOPT(CURLOPT_TIMEOUT, static_cast<long>(options.timeoutS));
    if (withAbort) {
        KELO_SETOPT(CURLOPT_XFERINFOFUNCTION, &lf_abortTransfer);
        KELO_SETOPT(CURLOPT_XFERINFODATA, static_cast<void*>(&abort));
        KELO_SETOPT(CURLOPT_NOPROGRESS, 0L);
    }
    if (options.freshConnection) {
        KELO_SETOPT(CURLOPT_FORBID_REUSE, 1L);
        KELO_SETOPT(CURLOPT_FRESH_CONNECT, 1L);
    }
#undef KELO_SETOPT

    CURLcode code = curl_easy_perform(handle);
    if (code != CURLE_OK && sink.overflow) {
        // What an overlong reply grew is given back.
        std::string().swap(response);
        response.reserve(reserved);
        return RTAPITransportError{static_cast<uint32_t>(code),
                                   fmt::format("{}: reply longer than {} bytes", "curl_easy_perform",
                                               kMaxRTAPIReplyBytes)};
    }
    if (code != CURLE_OK)
        return RTAPITransportError{static_cast<uint32_t>(code),
                                   fmt::format("{}: {}", "curl_easy_perform", curl_easy_strerror(code))};
    long httpCode = 0;
    code = curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &httpCode);
    if (code != CURLE_OK)
        return RTAPITransportError{static_cast<uint32_t>(code), fmt::format("{}: {}",
                                                                            "curl_easy_getinfo(CURLINFO_RESPONSE_CODE)",
                                                                            curl_easy_strerror(code))};
    curl_off_t retryAfter = 0;
    if (curl_easy_getinfo(handle, CURLINFO_RETRY_AFTER, &retryAfter) != CURLE_OK || retryAfter < 0)
        retryAfter = 0;
    return RTAPIHttpResponse{static_cast<uint32_t>(httpCode), std::string_view(response),
                             static_cast<uint32_t>(std::min<curl_off_t>(retryAfter, 86400))};
}

bool gf_isPassingTransportError(uint32_t curlCode)
{
    switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_HTTP2:
    case CURLE_PARTIAL_FILE:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
    case CURLE_QUIC_CONNECT_ERROR:
        return true;
    default:
        return false;
    }
}

std::string gf_curlErrorText(uint32_t curlCode)
{
    return curl_easy_strerror(static_cast<CURLcode>(curlCode));
}

std::string_view gf_rtApiFailureKindText(uint8_t kind)
{
    switch (kind) {
    case RTAPIFailureTransport:
        return "transport";
    case RTAPIFailureHttp:
        return "http";
    default:
        return "parse";
    }
}

std::optional<int32_t> gf_jsonInt32(const nlohmann::json& object, std::string_view key)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_integer())
        return std::nullopt;
    if (it->is_number_unsigned()) {
        const uint64_t v = it->get<uint64_t>();
        if (v > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
            return std::nullopt;
        return static_cast<int32_t>(v);
    }
    const int64_t v = it->get<int64_t>();
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(v);
}

std::variant<RTAPIReply, RTAPIParseError> gf_parseRTAPIResponse(std::string_view body, std::string_view context,
                                                                const RTAPILimitSpec& spec)
{
    if (body.empty())
        return RTAPIParseError{std::string(context), "empty response"};
    nlohmann::json root = nlohmann::json::parse(body, nullptr, false);
    if (root.is_discarded() || !root.is_object())
        return RTAPIParseError{std::string(context), fmt::format("invalid JSON: {}", body.substr(0, 256))};

    RTAPIReply reply;
    reply.apiStatus = gf_jsonInt32(root, "status").value_or(100);
    reply.limitMs = 2000;
    if (reply.apiStatus == 200 && !spec.key.empty()) {
        int64_t value = spec.defaultValue;
        const auto it = root.find(spec.key);
        if (it != root.end() && it->is_number_integer()) {
            if (it->is_number_unsigned()) {
                const uint64_t u = it->get<uint64_t>();
                value = u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                            ? std::numeric_limits<int64_t>::max()
                            : static_cast<int64_t>(u);
            } else {
                value = it->get<int64_t>();
            }
        } else {
            gf_logError(fmt::format("{}: invalid or missing {}, using default", context, spec.key));
        }
        const int64_t clamped = std::clamp<int64_t>(value, spec.min, spec.max);
        if (clamped != value)
            gf_logError(fmt::format("{}: {} {} ms outside limits, using {} ms", context, spec.key, value, clamped));
        reply.limitMs = static_cast<int32_t>(clamped);
    }
    if (const auto it = root.find("message"); it != root.end() && it->is_string())
        reply.message = gf_quoteReceived(it->get_ref<const std::string&>()); // logged and shown: kept short
    if (const auto it = root.find("data"); it != root.end())
        reply.data = std::move(*it);
    return reply;
}

std::variant<RTAPIReply, RTAPIFailure> gf_handleRTAPIHttpStatus(const RTAPIHttpResponse& response,
                                                                std::string_view context, const RTAPILimitSpec& spec)
{
    auto parsed = gf_parseRTAPIResponse(response.body, context, spec);
    if (auto* reply = std::get_if<RTAPIReply>(&parsed)) {
        reply->httpStatus = static_cast<int32_t>(std::min<uint32_t>(response.httpStatus, 0x7FFFFFFFu));
        reply->retryAfterS = response.retryAfterS;
        return std::move(*reply);
    }
    auto& error = std::get<RTAPIParseError>(parsed);
    const uint32_t http = response.httpStatus;
    if ((http >= 1 && http <= 199) || http >= 300)
        return RTAPIFailure{RTAPIFailureHttp, http, std::move(error.context),
                            fmt::format("HTTP {} response: {}", http, error.message), response.retryAfterS};
    return RTAPIFailure{RTAPIFailureParse, http, std::move(error.context), std::move(error.message),
                        response.retryAfterS};
}

std::variant<RTAPIReply, RTAPIFailure> gf_postRTAPIRequest(RTAPITransport& transport, std::string_view path,
                                                           std::string_view body, const RTAPIRequestOptions& options,
                                                           const std::atomic<bool>* abortFlag, std::string_view context,
                                                           const RTAPILimitSpec& spec)
{
    auto result = transport.request(gf_rtApiUrl(path), body, options, abortFlag);
    if (auto* error = std::get_if<RTAPITransportError>(&result))
        return RTAPIFailure{RTAPIFailureTransport, 0, std::string(context), std::move(error->message)};
    return gf_handleRTAPIHttpStatus(std::get<RTAPIHttpResponse>(result), context, spec);
}
