// Run-time binding of SimConnect.dll. Kelo never links the library: it loads
// SimConnect.dll from the folder of the running program and resolves each
// function by its name, so the same Kelo.exe runs against the simulator's DLL
// or a stand-in, and starts when there is none at all.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>

#include "simlink/simconnect_api.h"

// One bound SimConnect function: called like the function itself. The
// pointer behind it is swapped atomically when the DLL is loaded or freed, so
// a reference to the table taken at any time stays valid. Until something is
// bound it points at `failing`.
template <typename Pfn>
class SimConnectFunction;
template <typename... Args>
class SimConnectFunction<ScHresult (*)(Args...)> {
public:
    using Pointer = ScHresult (*)(Args...);
    static ScHresult failing(Args...) { return SC_E_FAIL; }
    static ScHresult notImplemented(Args...) { return SC_E_NOTIMPL; }

    constexpr SimConnectFunction() noexcept : m_fn(&failing) {}
    SimConnectFunction(const SimConnectFunction&) = delete;
    SimConnectFunction& operator=(const SimConnectFunction&) = delete;

    ScHresult operator()(Args... args) const { return m_fn.load(std::memory_order_acquire)(args...); }
    void set(Pointer fn) noexcept { m_fn.store(fn, std::memory_order_release); }
    Pointer get() const noexcept { return m_fn.load(std::memory_order_acquire); }

private:
    std::atomic<Pointer> m_fn;
};

// One entry per SimConnect function Kelo calls (KELO_SIMCONNECT_FUNCTIONS).
// Every entry is always callable: until a DLL is loaded, and for a function
// the loaded DLL lacks, it returns SC_E_FAIL (SC_E_NOTIMPL for the facility
// functions) without touching anything.
struct SimConnectApi {
#define KELO_SIMCONNECT_ENTRY(name, needed, parameters) SimConnectFunction<PfnSimConnect_##name> name;
    KELO_SIMCONNECT_FUNCTIONS(KELO_SIMCONNECT_ENTRY)
#undef KELO_SIMCONNECT_ENTRY
};

// The one table of bound functions (failing entries until gf_loadSimConnect
// succeeds). Safe to call from any thread; the same object for the whole run.
const SimConnectApi& gf_simConnect();

// Loads SimConnect.dll from the program folder unless it is loaded already;
// true when the functions are bound. A failure is logged as an error line
// (once for the same text, so a retry loop does not flood the log) and its
// text is kept for the window (gf_simConnectLoadError); the next call tries
// again.
bool gf_loadSimConnect();
// The same from a given folder (tests and tools).
bool gf_loadSimConnectFrom(const std::filesystem::path& folder);
// True while a DLL is bound.
bool gf_isSimConnectLoaded();
// The text of the last failed load; empty after a success.
std::string gf_simConnectLoadError();
// Forgets the bound functions and frees the DLL. Only for tests and the end
// of the process: no SimConnect call may be running.
void gf_unloadSimConnect();

// The folder of the running program file.
std::filesystem::path gf_programFileFolder();
