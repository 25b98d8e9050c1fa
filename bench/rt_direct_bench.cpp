// RT Direct benchmarks: reading and decoding a traffic answer, and one live
// poll round trip to the stand-in web API over loopback.
// Run on demand: wine build/bench/kelo_bench.exe --benchmark_filter=RTDirect
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

#include "feed/rt_api_decoding.h"
#include "feed/rt_api_transport.h"
#include "standins/rt_web_api.h"

namespace {

using kvr::standin::RTWebApi;

// A /v6/traffic answer with `n` aircraft, as the stand-in serves it.
std::string trafficAnswer(int n)
{
    RTWebApi api;
    api.setCredential("bench");
    api.setTraffic(RTWebApi::scenarioAround(52.3, 4.76, n));
    api.setWrrl(250);
    RTAPITransport t(16384);
    auto auth = t.request(api.baseUrl() + "/v6/auth", "license=bench&software=bench", RTAPIRequestOptions{});
    const std::string guid = nlohmann::json::parse(std::get<RTAPIHttpResponse>(auth).body)["GUID"];
    auto r = t.request(api.baseUrl() + "/v6/traffic",
                       "GUID=" + guid + "&top=60&bottom=45&left=-5&right=15&querytype=locationtraffic&toffset=0",
                       RTAPIRequestOptions{});
    return std::string(std::get<RTAPIHttpResponse>(r).body);
}

// The reply reading and decoding of one live poll (384 aircraft fill the batch).
void BM_RTDirectDecodeTraffic(benchmark::State& state)
{
    const std::string body = trafficAnswer(static_cast<int>(state.range(0)));
    auto wide = std::make_shared<Parameters>();
    wide->rangeNm = 400;
    wide->rangeNmSquared = 160000;
    const std::shared_ptr<const Parameters> settings = wide;
    TrafficConversionContext context;
    context.userLat = 52.3;
    context.userLon = 4.76;
    context.cosUserLat = 0.6115;
    context.sourceTag = TrafficSource::rtDirect;
    context.settings = settings.get();
    context.rtDirect = true;
    context.groundSquawkCheck = true;
    TrafficBatch batch;
    batch.records.reserve(384);
    for (auto _ : state) {
        auto reply = gf_handleRTAPIHttpStatus(RTAPIHttpResponse{200, body}, "traffic receive", g_rrlLimitSpec);
        gf_decodeRTAPITraffic(std::get<RTAPIReply>(reply).data, context, batch);
        benchmark::DoNotOptimize(batch.records.data());
    }
    state.counters["records"] = static_cast<double>(batch.records.size());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(body.size()));
}
BENCHMARK(BM_RTDirectDecodeTraffic)->Arg(50)->Arg(384)->Unit(benchmark::kMicrosecond);

// One live poll round trip over a kept-alive loopback connection.
void BM_RTDirectLivePoll(benchmark::State& state)
{
    RTWebApi api;
    api.setCredential("bench");
    api.setTraffic(RTWebApi::scenarioAround(52.3, 4.76, 50));
    RTAPITransport t(16384);
    auto auth = t.request(api.baseUrl() + "/v6/auth", "license=bench&software=bench", RTAPIRequestOptions{});
    const std::string guid = nlohmann::json::parse(std::get<RTAPIHttpResponse>(auth).body)["GUID"];
    const std::string body =
        "GUID=" + guid + "&top=53&bottom=51.6&left=3.6&right=5.9&querytype=locationtraffic&toffset=0";
    const std::string url = api.baseUrl() + "/v6/traffic";
    for (auto _ : state) {
        auto r = t.request(url, body, RTAPIRequestOptions{10, 30, false, false});
        if (!std::holds_alternative<RTAPIHttpResponse>(r))
            state.SkipWithError("request failed");
    }
}
BENCHMARK(BM_RTDirectLivePoll)->Unit(benchmark::kMillisecond);

} // namespace
