// Bounds on the engine's waits for the simulator: an answer lost on the way
// (the simulator restarted, a request dropped) must not keep an aircraft, or
// its address, out of the traffic for the rest of the session. Main task only.
#pragma once

#include <cstdint>

// How long an aircraft waits for the object id of its creation request once
// the request has left the engine's queues, in ticks of 10 ms; the wait ends
// when the object id arrives.
inline constexpr int32_t kCreationAnswerTicks = 6000; // 60 s
// How long an aircraft waits for the simulator to report its object removed
// once the removal has left the removal queue.
inline constexpr int32_t kRemovalAnswerTicks = 3000; // 30 s
// How long an address stays in quarantine without being released.
inline constexpr int32_t kQuarantineTicks = 6000; // 60 s

// Once per tick, before the aircraft are updated: an aircraft that waited too
// long is handled as if the answer had come (a removal as done, a creation as
// dropped, a livery respawn as ready to be created again), and a quarantine
// that lasted too long is lifted. Each logs one line.
void gf_expireStuckWaits();
