#include "app/destination.h"

#include <algorithm>
#include <cctype>
#include <variant>

#include <fmt/format.h>

#include "airports/airport_database.h"
#include "airports/airport_files.h"
#include "airports/park_airports.h"
#include "app/gui.h"
#include "app/gui_jobs.h"
#include "app/window.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/settings_snapshot.h"
#include "core/text.h"

namespace {

// The box shows the destination in force again.
void lf_restoreBox()
{
    gf_setControlText(DESTINATION, DESTINATION.value);
}

void lf_refillStands(std::vector<std::string> options, std::string value, bool enabled)
{
    std::lock_guard lock(gf_controlValuesMutex());
    *g_standSelectorOptions = std::move(options);
    STAND_SELECTOR.value = std::move(value);
    gf_fillComboBox(STAND_SELECTOR);
    gf_enableControl(STAND_SELECTOR, enabled);
}

void lf_showLogged(std::string text)
{
    gf_showMessage(std::move(text), true);
}

} // namespace

std::string lf_getTextFromId(uint16_t controlId)
{
    HWND main = gf_mainWindow();
    HWND item = main ? GetDlgItem(main, controlId) : nullptr;
    if (item == nullptr) {
        gf_logNoThrow(fmt::format("{}: GetDlgItem failed for ID {}", "lf_getTextFromId", controlId));
        return {};
    }
    const int length = GetWindowTextLengthW(item);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(item, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    try {
        return wide_to_utf8(text);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: UTF-16 to UTF-8 failed for ID {}: {}", "lf_getTextFromId", controlId, e.what()));
        return {};
    }
}

void lf_setDestination(const std::string& icaoText, const LatLon& position)
{
    // A stored text that is no ICAO code must not end the program.
    const std::optional<IcaoCode> icao = IcaoCode::tryParse(icaoText);
    if (!icao) {
        lf_showLogged(fmt::format("destination '{}' is not valid", icaoText));
        return;
    }
    std::lock_guard lock(gf_controlValuesMutex());
    DESTINATION.setAndSave(icaoText);
    gf_setControlText(DESTINATION, icaoText);

    auto stands = gf_readApfForStands(*icao);
    if (auto* error = std::get_if<std::string>(&stands)) {
        lf_showLogged(fmt::format("New destination: {}, failed to read stands, {}", icaoText, *error));
        // The stands of an earlier destination must not stay on offer.
        lf_refillStands({std::string()}, std::string(), false);
        gf_setCurrentParkAirport(*icao, position);
        return;
    }
    const auto& names = std::get<std::vector<std::string>>(stands);
    std::vector<std::string> options;
    std::string value;
    const std::optional<std::string> reserved = gf_reservedStandOf(*icao);
    if (reserved && std::find(names.begin(), names.end(), *reserved) != names.end()) {
        lf_showLogged(fmt::format("New destination: {}, with reserved stand: {}", icaoText, *reserved));
        value = *reserved;
    } else {
        lf_showLogged(names.empty() ? fmt::format("New destination: {}, no stands available", icaoText)
                                    : fmt::format("New destination: {}", icaoText));
        options.emplace_back(kSelectAStand);
        value = kSelectAStand;
    }
    options.insert(options.end(), names.begin(), names.end());
    lf_refillStands(std::move(options), std::move(value), !names.empty());
    gf_setCurrentParkAirport(*icao, position);
}

void lf_onDestinationEntered()
{
    gf_clearMessage();
    std::string text = lf_getTextFromId(DESTINATION.controlId);
    std::lock_guard lock(gf_controlValuesMutex());
    if (text.empty()) {
        DESTINATION.setAndSave(std::string());
        lf_refillStands({std::string()}, std::string(), false);
        lf_showLogged("destination set to empty");
        return;
    }
    if (text.size() != 4) {
        lf_showLogged(fmt::format("destination '{}' is not valid", text));
        lf_restoreBox();
        return;
    }
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (text == DESTINATION.value) {
        lf_showLogged(fmt::format("destination '{}' was already set ...", text));
        lf_restoreBox();
        return;
    }
    const std::optional<IcaoCode> icao = IcaoCode::tryParse(text);
    if (!icao) {
        lf_showLogged(fmt::format("destination '{}' is not valid", text));
        lf_restoreBox();
        return;
    }
    const std::optional<AirportDbRecord> airport = gf_airportDbLookup(*icao);
    if (!airport) {
        lf_showLogged(fmt::format("destination '{}' is not supported ...", text));
        lf_restoreBox();
        return;
    }
    lf_setDestination(text, airport->position);
}

LRESULT CALLBACK lf_destinationEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        if (message == WM_CHAR && wParam == 13) {
            gf_clearMessage();
            lf_onDestinationEntered();
            return 0;
        }
        if (DESTINATION.previousWndProc)
            return CallWindowProcW(DESTINATION.previousWndProc, hwnd, message, wParam, lParam);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    } catch (const std::exception& e) {
        gf_logNoThrow(fmt::format("lf_destinationEditProc exception {}", e.what()));
        gf_showMessage(fmt::format("Destination failed: {}", e.what()), false);
    } catch (...) {
        gf_logNoThrow("lf_destinationEditProc unknown exception");
    }
    return 0;
}

void lf_onStandChosen(const std::string& text)
{
    if (text == kSelectAStand)
        return;
    std::lock_guard lock(gf_controlValuesMutex());
    STAND_SELECTOR.value = text;
    lf_showLogged(fmt::format("selected stand '{}' at airport '{}'", text, DESTINATION.value));
    bool updated = false;
    if (const std::optional<IcaoCode> icao = IcaoCode::tryParse(DESTINATION.value)) {
        ParkAirportList& list = gf_parkAirportList();
        std::lock_guard lock(list.mutex);
        for (ParkAirport& a : list.airports) {
            if (a.icao == *icao) {
                a.reservedStand = text;
                updated = true;
                break;
            }
        }
    }
    gf_repaintAirportPanel();
    if (!updated)
        gf_logError(fmt::format("could not update stand {} in airport {}", text, DESTINATION.value));
}
