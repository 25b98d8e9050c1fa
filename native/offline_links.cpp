// The native build's side of the program's links to the outside world that
// only exist on Windows: the RealTraffic App's TCP link (Winsock), the
// simulator's facility data (SimConnect), the credential file (written with
// Win32 calls in wiped memory) and the version check with its message box.
// The portable code the native tests run calls into them; here they are
// absent: requests go nowhere and lookups find nothing.
#include <atomic>
#include <optional>

#include "feed/rt_app_link.h"
#include "feed/rt_credential.h"
#include "simlink/facility_reader.h"
#include "update/version_check.h"

std::atomic<bool> WebMaintenanceFlag{false};

void gf_sendUserStateToRTApp() {}

bool gf_requestRTBufferTraffic()
{
    return false;
}

bool gf_requestRTParkedTraffic(const ParkedTrafficBox&)
{
    return false;
}

void gf_resetRTBufferRequest() {}

std::optional<FacilityRunways> gf_readFacilityRunways(std::string_view)
{
    return std::nullopt;
}

SecretText gf_rtCredential()
{
    return SecretText();
}
