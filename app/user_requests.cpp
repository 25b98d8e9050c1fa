#include "app/user_requests.h"

std::atomic<bool> blockRequested{false};
std::atomic<bool> listAircraftRequested{false};
std::atomic<bool> flushStaticRequested{false};
std::atomic<bool> restartNowRequested{false};
std::atomic<bool> rematchRequested{false};
std::atomic<bool> maxParkChanged{false};
std::atomic<bool> maxLiveChanged{false};
std::atomic<bool> twoPropsOff{false};
std::atomic<bool> lightAircraftOff{false};
std::atomic<bool> helicoptersOff{false};
std::atomic<bool> highPerfOff{false};
std::atomic<uint8_t> navLightsRequest{kNoNavLightsRequest};
std::atomic<bool> parkingInProgress{false};
std::atomic<bool> parkingGenerating{false};
std::atomic<int32_t> pendingParkingInterval{-1};

ParkingRequests& gf_parkingRequests()
{
    static ParkingRequests requests;
    return requests;
}
