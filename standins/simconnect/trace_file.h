// The stand-in simulator's trace file: with KELO_SIM_TRACE=<file> every
// creation, refusal, position write, client event, removal and (once a
// simulated second) the user aircraft's state is appended as one JSON object
// per line (JSON Lines, UTF-8). The file is flushed at least once a second,
// when a client closes its connection, on a reset and at exit.
//
// Every line has "k" (kind), "f" (frame number) and "t" (seconds since the
// stand-in started; simulated seconds, frame / frames per second, in manual
// mode). Kinds and their members:
//   "create": id, req, title, tail, lat, lon (degrees), alt_ft, hdg (true,
//             degrees), pitch, bank (degrees), on_ground (bool), kts: the init
//             position as the client sent it.
//   "refuse": req, title, tail, exception (the SimConnect exception code).
//   "pos":    id, lat, lon, alt_ft, hdg, pitch, bank (degrees), vs_fpm, kts as
//             the client wrote them, gnd_ft (the ground elevation there) and
//             on_ground (the object's SIM ON GROUND). KELO_SIM_TRACE_EVERY=N
//             keeps the writes of every N-th frame only (default 1).
//   "event":  id, name (the client event, e.g. "GEAR_UP"), value.
//   "remove": id, by ("client" for AIRemoveObject, "sim" when the simulator
//             removed it, "close" when the owning connection closed).
//   "user":   lat, lon, alt_ft, hdg, on_ground.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

namespace kvr::standin {

class TraceFile {
public:
    TraceFile() = default;
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;
    ~TraceFile() { close(); }

    // Reads KELO_SIM_TRACE and KELO_SIM_TRACE_EVERY again; the file opens on
    // the first line written.
    void configure();
    bool enabled() const { return !m_path.empty(); }
    // True when the position writes of this frame are kept.
    bool keepsFrame(std::uint64_t frame) const { return m_every <= 1 || frame % m_every == 0; }
    // Appends one line with "k", "f" and "t" in front of the members.
    void write(const char* kind, std::uint64_t frame, double seconds, const nlohmann::json& members);
    // Flushes when a second has passed since the last flush.
    void tick();
    void flush();
    void close();

private:
    std::string m_path;
    std::uint64_t m_every = 1;
    std::FILE* m_file = nullptr;
    bool m_failed = false;
    std::chrono::steady_clock::time_point m_lastFlush{};
};

} // namespace kvr::standin
