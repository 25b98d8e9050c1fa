// One queued change to the main window: a tagged union of 40 kinds, numbered
// 0 to 39. Any thread builds one on its stack and hands it on by move
// (gf_postGuiUpdate, core/gui_senders.h); the window's thread applies it to
// the display state and learns which horizontal bands of the window to repaint.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "core/value_types.h"

// Band bits returned when an update is applied.
struct GuiBands {
    static constexpr uint8_t None = 0;
    static constexpr uint8_t Header = 1;
    static constexpr uint8_t StatusPanel = 2;
    static constexpr uint8_t Airport = 4;
    static constexpr uint8_t Message = 8;
    // The window changes height and is redrawn whole.
    static constexpr uint8_t Resize = 16;
};

// Reported state of a feed reader (kinds 8 and 10).
struct GuiReaderState {
    static constexpr uint32_t Fresh = 0;   // data fresh, drawn green
    static constexpr uint32_t Overdue = 1; // data overdue, drawn yellow
    static constexpr uint32_t Stopped = 2; // reader stopped, label hidden
};

enum class GuiUpdateKind : uint8_t {
    SetCompact = 0,
    ToggleCompact = 1,
    StayOnTop = 2,
    Minimize = 3,
    Repaint = 4,
    CheckMessageExpiry = 5,
    ShowTrafficBox = 6,
    ParkingPending = 7,
    LiveTrafficState = 8,
    Block9 = 9,
    QnhState = 10,
    TrafficSource = 11,
    SimStatus = 12,
    FlightRunning = 13,
    LiveryCount = 14,
    SimaddonAirports = 15,
    ThirdpAirports = 16,
    WingspanKnown = 17,
    LiveAircraftCount = 18,
    StandCount = 19,
    ParkCounts = 20,
    MaxPark = 21,
    QualityFactor = 22,
    AirportCode = 23,
    AirportFileInfo = 24,
    NextUpdate = 25,
    ParkedFromRTOnly = 26,
    QnhValue = 27,
    QnhUnit = 28,
    Publisher = 29,
    UpdateCount = 30,
    StaticFit = 31,
    LiveFit = 32,
    UserStand = 33,
    DisableTimeShift = 34,
    Message = 35,
    Error = 36,
    ClearMessage = 37,
    ClearError = 38,
    ResetStatus = 39,
};

struct GuiUpdate {
    struct SetCompact { bool compact = false; };
    struct ToggleCompact {};
    struct StayOnTop { bool topmost = false; };
    struct Minimize {};
    struct Repaint { uint8_t bands = 0; };
    struct CheckMessageExpiry {};
    struct ShowTrafficBox {};
    struct ParkingPending { uint64_t count = 0; };
    struct LiveTrafficState { uint32_t state = 0; };
    struct Block9 { std::array<uint8_t, 40> bytes{}; };
    struct QnhState { uint32_t state = 0; };
    struct TrafficSource { std::string text; };
    struct SimStatus { std::string text; };
    struct FlightRunning { bool running = false; };
    struct LiveryCount { uint64_t count = 0; };
    struct SimaddonAirports { uint64_t count = 0; };
    struct ThirdpAirports { uint64_t count = 0; };
    struct WingspanKnown { bool known = false; };
    struct LiveAircraftCount { uint64_t count = 0; };
    struct StandCount { uint64_t count = 0; };
    struct ParkCounts { uint64_t parkedLive = 0; uint64_t staticCount = 0; };
    struct MaxPark { uint32_t count = 0; uint32_t percent = 0; };
    struct QualityFactor { std::string text; };
    struct AirportCode { IcaoCode code; };
    struct AirportFileInfo { bool loaded = false; std::string text; };
    struct NextUpdate { uint32_t minutes = 0; };
    struct ParkedFromRTOnly { bool rtOnly = false; };
    struct QnhValue { uint32_t hpa = 0; };
    struct QnhUnit { bool inHg = false; };
    struct Publisher { std::string name; bool handmade = false; };
    struct UpdateCount { uint32_t count = 0; };
    struct StaticFit { float value = 0.0f; };
    struct LiveFit { float value = 0.0f; };
    struct UserStand { std::string stand; };
    struct DisableTimeShift {};
    struct Message { std::string text; bool log = false; };
    struct Error { std::string text; };
    struct ClearMessage {};
    struct ClearError {};
    struct ResetStatus {};

    // The alternative's index is its kind number.
    using Payload = std::variant<
        SetCompact, ToggleCompact, StayOnTop, Minimize, Repaint, CheckMessageExpiry, ShowTrafficBox,
        ParkingPending, LiveTrafficState, Block9, QnhState, TrafficSource, SimStatus, FlightRunning,
        LiveryCount, SimaddonAirports, ThirdpAirports, WingspanKnown, LiveAircraftCount, StandCount,
        ParkCounts, MaxPark, QualityFactor, AirportCode, AirportFileInfo, NextUpdate, ParkedFromRTOnly,
        QnhValue, QnhUnit, Publisher, UpdateCount, StaticFit, LiveFit, UserStand, DisableTimeShift,
        Message, Error, ClearMessage, ClearError, ResetStatus>;

    // Built from any one alternative, which is moved in.
    template <typename T>
        requires(!std::is_same_v<std::remove_cvref_t<T>, GuiUpdate> &&
                 std::is_constructible_v<Payload, T &&>)
    GuiUpdate(T&& alternative) : payload(std::forward<T>(alternative))
    {
    }

    GuiUpdate(GuiUpdate&&) noexcept = default;
    GuiUpdate& operator=(GuiUpdate&&) noexcept = default;
    GuiUpdate(const GuiUpdate&) = default;
    GuiUpdate& operator=(const GuiUpdate&) = default;

    GuiUpdateKind kind() const noexcept { return static_cast<GuiUpdateKind>(payload.index()); }

    Payload payload;

    template <std::size_t... I>
    static constexpr bool payloadsFit(std::index_sequence<I...>)
    {
        return ((sizeof(std::variant_alternative_t<I, Payload>) <= 40) && ...);
    }
};

static_assert(std::variant_size_v<GuiUpdate::Payload> == 40, "a GuiUpdate has exactly 40 kinds");
static_assert(GuiUpdate::payloadsFit(std::make_index_sequence<std::variant_size_v<GuiUpdate::Payload>>()),
              "a GuiUpdate payload takes at most 40 bytes");
static_assert(std::is_same_v<std::variant_alternative_t<35, GuiUpdate::Payload>, GuiUpdate::Message>);
static_assert(std::is_same_v<std::variant_alternative_t<39, GuiUpdate::Payload>, GuiUpdate::ResetStatus>);
