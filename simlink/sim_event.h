// What the simulator link reports back to the traffic engine. The SimClient
// thread pushes one SimEvent per outcome (object created, removed, ground
// data, static CG and pitch, creation failed); the main task takes the whole
// batch once per tick by swapping two vectors under the event-queue mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// The record that crosses the thread boundary: 32 bytes, fixed layout.
struct SimEvent {
    uint32_t objectId = 0; // SimConnect object id (0 for a failed creation)
    uint32_t key = 0;      // kinds 0, 1, 5: aircraft key; kind 3: 1 on the ground; kind 2: kWentWithConnection or 0
    uint32_t counter = 0;  // 0 when pushed; ticks waited in the delayed command list
    uint32_t kind = 0;     // SimEventKind
    double value1 = 0.0;   // kinds 0, 1, 5: creation request id; kind 3: ground altitude ft; kind 4: static CG ft
    double value2 = 0.0;   // kind 3: altitude above ground ft; kind 4: static pitch rad; kind 5: 1 went with the connection
};
static_assert(sizeof(SimEvent) == 32);
static_assert(offsetof(SimEvent, kind) == 12 && offsetof(SimEvent, value1) == 16 &&
              offsetof(SimEvent, value2) == 24);

// A removal or failed creation that only means the connection ended: the
// aircraft itself is still there to be created on the next connection.
constexpr uint32_t kWentWithConnection = 1;

struct SimEventKind {
    static constexpr uint32_t LiveCreated = 0;
    static constexpr uint32_t StaticCreated = 1;
    static constexpr uint32_t Removed = 2;
    static constexpr uint32_t GroundData = 3;
    static constexpr uint32_t StaticCgAndPitch = 4;
    static constexpr uint32_t CreateFailed = 5;
};

// The two buffers and their mutex. The push side holds the mutex for one
// append; the take side for one swap of the vectors, so neither allocates in
// steady state once both buffers have grown to their capacity.
class SimEventQueue {
public:
    SimEventQueue();
    // SimClient thread: appends one event.
    void push(const SimEvent& event);
    // Main task: swaps the push buffer with `processing`, which must be empty
    // (its capacity is kept and handed to the pushing side).
    void swapInto(std::vector<SimEvent>& processing);
    // Restart reset: drops every waiting event.
    void clear();
    size_t pendingCount() const;

private:
    mutable std::mutex m_mutex;
    std::vector<SimEvent> m_push;
};

// The process's one queue.
SimEventQueue& gf_simEventQueue();

// SimClient thread: appends one event to the process's queue.
void gf_pushSimEvent(const SimEvent& event);
