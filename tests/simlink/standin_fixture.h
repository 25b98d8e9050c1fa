#pragma once
// Tests against the stand-in simulator through the product's own run-time
// binding: the stand-in SimConnect.dll beside the test program is loaded by
// gf_loadSimConnect, and its control functions are bound from that module.
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "simlink/simconnect_api.h"
#include "simlink/simconnect_loader.h"
#include "standins/simconnect/standin_control.h"

namespace kvr::test {

// One packet as the dispatch handed it over: its bytes and the size reported.
struct Received {
    std::vector<std::uint8_t> bytes;
    std::uint32_t cbData = 0;

    std::uint32_t id() const { return field<std::uint32_t>(8); }
    template <typename T>
    T field(std::size_t offset) const
    {
        T value{};
        std::memcpy(&value, bytes.data() + offset, sizeof(T));
        return value;
    }
    template <typename T>
    T as() const
    {
        T value{};
        std::memcpy(&value, bytes.data(), std::min(sizeof(T), bytes.size()));
        return value;
    }
};

// A SimConnect client of the tests: opens a connection and collects what one
// dispatch delivers.
struct TestClient {
    ScHandle handle = nullptr;
    std::vector<Received> packets;

    static void onPacket(SIMCONNECT_RECV* packet, ScDword cbData, void* context)
    {
        auto* self = static_cast<TestClient*>(context);
        Received r;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(packet);
        r.bytes.assign(bytes, bytes + std::max<std::uint32_t>(cbData, 12));
        r.cbData = cbData;
        self->packets.push_back(std::move(r));
    }
    ScHresult open(const char* name = "Kelo")
    {
        return gf_simConnect().Open(&handle, name, nullptr, 0, nullptr, 0);
    }
    std::vector<Received> dispatch()
    {
        packets.clear();
        EXPECT_GE(gf_simConnect().CallDispatch(handle, &TestClient::onPacket, this), 0);
        return packets;
    }
    std::vector<Received> dispatchOf(std::uint32_t recvId)
    {
        std::vector<Received> out;
        for (Received& r : dispatch())
            if (r.id() == recvId)
                out.push_back(std::move(r));
        return out;
    }
    ~TestClient()
    {
        if (handle)
            gf_simConnect().Close(handle);
    }
};

class StandinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gf_loadSimConnect()) << gf_simConnectLoadError();
        ASSERT_TRUE(sim.bind());
        sim.reset();
    }
    void TearDown() override
    {
        if (sim.reset)
            sim.reset();
    }
    const SimConnectApi& api() const { return gf_simConnect(); }

    SimConnectStandin sim;
};

} // namespace kvr::test
