// Control interface of the stand-in simulator (SimConnect.dll built from
// standins/simconnect). Tests only: the product never includes this header.
//
// The DLL exports, beside the SimConnect functions, these C functions. A test
// binds them from the module that the product's loader loaded
// (SimConnectStandin::bind), so test and product talk to one simulator.
#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

#include <nlohmann/json.hpp>

extern "C" {
using KeloSimResetFn = int (*)();
using KeloSimLoadScenarioFn = int (*)(const char* json);
using KeloSimAdvanceFramesFn = int (*)(std::uint32_t frames);
using KeloSimWaitIdleFn = int (*)(std::uint32_t timeoutMs);
using KeloSimSetFaultFn = int (*)(const char* function, std::uint32_t nth, std::int32_t hr);
using KeloSimTruncateNextFn = int (*)(std::uint32_t recvId, std::uint32_t size, std::uint32_t count);
using KeloSimSendExceptionFn = int (*)(std::uint32_t connection, std::uint32_t code, std::uint32_t sendId,
                                       std::uint32_t index);
using KeloSimSetSimRunningFn = int (*)(int running);
using KeloSimLoadFlightFn = int (*)(const char* path);
using KeloSimQuitFn = int (*)();
using KeloSimSetAvailableFn = int (*)(int available);
using KeloSimRemoveObjectFn = int (*)(std::uint32_t objectId);
using KeloSimTraceFn = std::uint32_t (*)(const char* section, char* buffer, std::uint32_t capacity);
}

// Typed access to the control functions of a loaded stand-in.
struct SimConnectStandin {
    KeloSimResetFn reset = nullptr;                 // everything back to the defaults below
    KeloSimLoadScenarioFn loadScenario = nullptr;   // 0 = applied; keys absent keep their value
    KeloSimAdvanceFramesFn advanceFrames = nullptr; // manual frames
    KeloSimWaitIdleFn waitIdle = nullptr;           // 1 when every queued packet was dispatched
    KeloSimSetFaultFn setFault = nullptr;           // nth call from now (0 = every call) returns hr; hr >= 0 clears
    KeloSimTruncateNextFn truncateNext = nullptr;   // the next `count` packets of that kind arrive cut to `size`
    KeloSimSendExceptionFn sendException = nullptr; // connection 0 = every connection
    KeloSimSetSimRunningFn setSimRunning = nullptr; // "Sim" event 1/0 to subscribers
    KeloSimLoadFlightFn loadFlight = nullptr;       // "FlightLoaded" with the file
    KeloSimQuitFn quit = nullptr;                   // QUIT to every client; Open fails until setAvailable(1)
    KeloSimSetAvailableFn setAvailable = nullptr;
    KeloSimRemoveObjectFn removeObject = nullptr; // the simulator removes an object itself
    KeloSimTraceFn traceFn = nullptr;

    // Binds the functions of the SimConnect.dll already loaded in this process.
    bool bind()
    {
        HMODULE module = GetModuleHandleW(L"SimConnect.dll");
        if (!module)
            return false;
        auto get = [&](auto& slot, const char* name) {
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
                reinterpret_cast<void*>(GetProcAddress(module, name)));
            return slot != nullptr;
        };
        return get(reset, "KeloSim_Reset") && get(loadScenario, "KeloSim_LoadScenario") &&
               get(advanceFrames, "KeloSim_AdvanceFrames") && get(waitIdle, "KeloSim_WaitIdle") &&
               get(setFault, "KeloSim_SetFault") && get(truncateNext, "KeloSim_TruncateNext") &&
               get(sendException, "KeloSim_SendException") && get(setSimRunning, "KeloSim_SetSimRunning") &&
               get(loadFlight, "KeloSim_LoadFlight") && get(quit, "KeloSim_Quit") &&
               get(setAvailable, "KeloSim_SetAvailable") && get(removeObject, "KeloSim_RemoveObject") &&
               get(traceFn, "KeloSim_Trace");
    }

    bool load(const nlohmann::json& scenario) { return loadScenario(scenario.dump().c_str()) == 0; }

    // One trace section as JSON: "calls", "objects", "live_objects", "positions", "events",
    // "connections", "errors", "frame", "user".
    // A client thread may add to the trace between sizing and copying: read
    // again until the copy is whole.
    nlohmann::json trace(const char* section)
    {
        for (;;) {
            std::string text(traceFn(section, nullptr, 0), '\0');
            if (traceFn(section, text.data(), static_cast<std::uint32_t>(text.size() + 1)) == text.size())
                return nlohmann::json::parse(text);
        }
    }
};
