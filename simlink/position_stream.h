// AI positions from the engine to the simulator. The engine stamps each
// tick's position with the steady clock and posts it into the
// PositionDoubleBuffer; on every simulator frame the SimClient thread takes
// what was posted without ever waiting (a try-lock and a swap), keeps a short
// history per object and writes each object's position interpolated 20 ms in
// the past.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

// The payload of the AI position definition: eight doubles, 64 bytes.
struct PositionBlock {
    double latitude = 0.0;      // degrees
    double longitude = 0.0;     // degrees
    double pitch = 0.0;         // radians
    double bank = 0.0;          // radians
    double heading = 0.0;       // radians, true
    double altitude = 0.0;      // feet
    double verticalSpeed = 0.0; // feet per minute
    double airspeed = 0.0;      // knots, true
};
static_assert(sizeof(PositionBlock) == 64);

struct TimedPosition {
    PositionBlock block;
    int64_t time = 0; // steady clock, nanoseconds
};

// Most samples kept per object, both posted and in a history.
inline constexpr size_t kPositionSamplesKept = 16;

// Up to 16 samples in time order, oldest first, in a fixed ring.
class PositionRing {
public:
    size_t size() const noexcept { return m_count; }
    bool empty() const noexcept { return m_count == 0; }
    const TimedPosition& operator[](size_t i) const noexcept { return m_ring[(m_head + i) % kPositionSamplesKept]; }
    const TimedPosition& front() const noexcept { return (*this)[0]; }
    const TimedPosition& newest() const noexcept { return (*this)[m_count - 1]; }
    void clear() noexcept { m_head = m_count = 0; }
    void dropOldest() noexcept;
    void pushNewest(const TimedPosition& sample) noexcept; // drops the oldest when full

private:
    std::array<TimedPosition, kPositionSamplesKept> m_ring{};
    size_t m_head = 0;
    size_t m_count = 0;
};

// Values by object id in slots that stay allocated for their object: a
// clear keeps every slot and its index entry, so a steady set of objects
// costs no allocation per tick or frame. A slot found again after a clear
// starts empty (a ring cleared, a block zeroed).
template <typename T>
class ObjectSlots {
public:
    struct Slot {
        uint32_t id = 0;
        T value{};
    };

    // The object's slot of this round, made when missing.
    T& operator[](uint32_t objectId)
    {
        auto [it, made] = m_index.try_emplace(objectId, 0u);
        if (!made && it->second < m_used && m_slots[it->second].id == objectId)
            return m_slots[it->second].value;
        if (m_used == m_slots.size())
            m_slots.emplace_back();
        Slot& slot = m_slots[m_used];
        it->second = static_cast<uint32_t>(m_used++);
        slot.id = objectId;
        if constexpr (requires { slot.value.clear(); })
            slot.value.clear();
        else
            slot.value = T{};
        return slot.value;
    }
    T* find(uint32_t objectId)
    {
        const auto it = m_index.find(objectId);
        if (it == m_index.end() || it->second >= m_used || m_slots[it->second].id != objectId)
            return nullptr;
        return &m_slots[it->second].value;
    }
    // The object's slot of this round is left behind as a slot of id 0,
    // which holders of real objects never use.
    void erase(uint32_t objectId)
    {
        const auto it = m_index.find(objectId);
        if (it == m_index.end())
            return;
        if (it->second < m_used && m_slots[it->second].id == objectId)
            m_slots[it->second].id = 0;
        m_index.erase(it);
    }
    // Every slot empties; memory and ids stay (the index is rebuilt from the
    // live slots once it holds many ids of objects long gone).
    void clear()
    {
        if (m_index.size() > 2 * m_used + 256) {
            m_index.clear();
            for (size_t i = 0; i < m_used; ++i)
                m_index[m_slots[i].id] = static_cast<uint32_t>(i);
        }
        m_used = 0;
    }
    // Every slot and index entry goes, memory too.
    void release()
    {
        m_slots.clear();
        m_slots.shrink_to_fit();
        m_index.clear();
        m_used = 0;
    }
    void reserve(size_t n)
    {
        m_slots.reserve(n);
        m_index.reserve(n);
    }
    bool empty() const noexcept { return m_used == 0; }
    size_t size() const noexcept { return m_used; }
    Slot* begin() noexcept { return m_slots.data(); }
    Slot* end() noexcept { return m_slots.data() + m_used; }
    const Slot* begin() const noexcept { return m_slots.data(); }
    const Slot* end() const noexcept { return m_slots.data() + m_used; }
    void swap(ObjectSlots& other) noexcept
    {
        m_slots.swap(other.m_slots);
        m_index.swap(other.m_index);
        std::swap(m_used, other.m_used);
    }

private:
    std::vector<Slot> m_slots;
    size_t m_used = 0;
    std::unordered_map<uint32_t, uint32_t> m_index; // id -> slot; stale when the slot moved on
};

// The hand-over between the main task and the SimClient thread.
class PositionDoubleBuffer {
public:
    PositionDoubleBuffer();

    // Main task, no lock: the object's position of the current tick.
    void stage(uint32_t objectId, const PositionBlock& block) { staging[objectId] = block; }
    // Main task, end of the tick: every staged position goes to its object's
    // posted samples stamped `now` (the newest 16 are kept); staging empties.
    void flushStaging(int64_t now);
    // Any thread: forgets an object's staged and posted positions.
    void erase(uint32_t objectId);
    // Main loop while the flight is not running: drops the posted samples.
    void clearPosted();
    // Reset and clear of the link state: empties all maps (optionally
    // reserving room) and raises the generation.
    void reset(bool reserve);

    std::mutex mutex; // the position mutex
    ObjectSlots<PositionBlock> staging;
    ObjectSlots<PositionRing> posted; // an emptied ring is an object erased since it was posted
    ObjectSlots<PositionRing> taken;  // SimClient side of the swap
    std::atomic<uint64_t> generation{0};
};

// The process's one buffer.
extern PositionDoubleBuffer g_positionBuffer;

// The recent samples of one object, oldest first (SimClient thread only).
class PositionHistory : public PositionRing {
public:
    int64_t delay = 20'000'000; // ns behind the frame time
};

// Appends a sample; first clears the history when the sample does not follow
// the newest one closely (time step outside 1 ns..250 ms, more than 1000 m
// away, or more than 2000 ft higher or lower).
void gf_appendToHistory(PositionHistory& history, const TimedPosition& sample);

// The position at now - delay: drops samples that are no longer needed,
// holds the oldest or newest sample outside the covered time, and
// interpolates in between (longitude across the antimeridian, heading
// across north). No value for an empty history.
std::optional<PositionBlock> gf_interpolatePosition(PositionHistory& history, int64_t now);

// The SimClient thread's side: the histories, the generation it last saw and
// the ids that the simulator removed (never written again until a creation
// assigns the id anew).
class PositionStreamer {
public:
    // Steps before the writes: empties `taken`, drops every history after a
    // generation change, try-locks the buffer and swaps the posted samples
    // in, and appends them to the histories. False when the mutex was busy.
    bool takePosted(PositionDoubleBuffer& buffer);

    // Calls write(objectId, block) for every object (but the user's) whose
    // history gives a position at `now`; stops when write returns false.
    template <typename Write>
    void writeAll(int64_t now, uint32_t userObjectId, Write&& write)
    {
        for (auto& [id, history] : m_histories) {
            if (id == userObjectId)
                continue;
            if (auto block = gf_interpolatePosition(history, now))
                if (!write(id, *block))
                    return;
        }
    }

    // Kelo removed the object: its history goes.
    void eraseHistory(uint32_t objectId) { m_histories.erase(objectId); }
    // The simulator removed the object: its history goes, and the id is
    // written no more until it is assigned again. Samples still posted for it
    // are skipped when taken; the buffer is never waited for here.
    void objectRemovedBySim(uint32_t objectId);
    // A creation was assigned this id: whatever was kept or posted for the id
    // before belongs to an earlier object and goes with the next take.
    void objectAssigned(uint32_t objectId);
    // The connection was replaced: every history goes, and so do the samples
    // posted before (taken and dropped on the next frame that gets the lock).
    void newConnection();
    // Everything goes (state clear after the thread ended).
    void clear();

    size_t historyCount() const noexcept { return m_histories.size(); }
    size_t removedBySimCount() const noexcept { return m_removedBySim.size(); }
    const PositionHistory* history(uint32_t objectId) const;

private:
    std::unordered_map<uint32_t, PositionHistory> m_histories;
    // Removed ids -> the take count at their removal. Samples posted for an id
    // before its removal are taken within a few frames: an entry is dropped
    // once kRemovedIdTakes takes have passed, so ids never assigned again do
    // not pile up over a long run.
    static constexpr uint64_t kRemovedIdTakes = 1024;
    std::unordered_map<uint32_t, uint64_t> m_removedBySim;
    uint64_t m_takes = 0;
    std::unordered_set<uint32_t> m_dropPostedOf; // ids whose posted samples are stale
    bool m_dropAllPosted = false;
    uint64_t m_generation = 0;
};

// Steady clock in nanoseconds (the performance counter); tests may replace it.
int64_t gf_steadyNowNs();
void gf_setSteadyClockForTest(int64_t (*clock)());
