#include "core/gui_senders.h"

#include <fmt/format.h>

#include "core/ui_sink.h"

// Where users send the tblo.zip bundle: fixed at build time, a placeholder
// unless the build names one.
#ifndef KELO_SUPPORT_EMAIL
#define KELO_SUPPORT_EMAIL "support@kelo-traffic.example"
#endif

namespace {

constexpr const char* kSupportEmail = KELO_SUPPORT_EMAIL;

} // namespace

std::atomic<bool> g_parkedFromRTOnlyNow{false};

void gf_postGuiUpdate(GuiUpdate&& update) noexcept
{
    gf_uiSink().enqueueUpdate(std::move(update));
}

void gf_showMessage(std::string text, bool log)
{
    gf_uiSink().showMessage(std::move(text), log);
}

void gf_showError(std::string text)
{
    gf_uiSink().showError(std::move(text));
}

void gf_clearMessage()
{
    gf_uiSink().clearMessage();
}

std::string gf_tbloHintText()
{
    return fmt::format("Push the tblo button and mail 'tblo.zip' to {}, please", kSupportEmail);
}

void gf_showTbloHint()
{
    gf_postGuiUpdate(GuiUpdate::Message{gf_tbloHintText(), false});
}

void gf_setTrafficSourceInfo(std::string text)
{
    gf_postGuiUpdate(GuiUpdate::TrafficSource{std::move(text)});
}

void gf_setSimaddonAirportCount(uint64_t count)
{
    gf_postGuiUpdate(GuiUpdate::SimaddonAirports{count});
}

void gf_setUserWingspanKnown(bool known)
{
    gf_postGuiUpdate(GuiUpdate::WingspanKnown{known});
}

void gf_setAirportFileInfo(bool loaded, std::string text)
{
    gf_postGuiUpdate(GuiUpdate::AirportFileInfo{loaded, std::move(text)});
}

void gf_setParkedFromRTOnly(bool rtOnly)
{
    g_parkedFromRTOnlyNow.store(rtOnly);
    gf_postGuiUpdate(GuiUpdate::ParkedFromRTOnly{rtOnly});
}

void gf_setAirportPublisher(std::string name, bool handmade)
{
    gf_postGuiUpdate(GuiUpdate::Publisher{std::move(name), handmade});
}

void gf_setStaticFit(float value)
{
    gf_postGuiUpdate(GuiUpdate::StaticFit{value});
}

void gf_setUserStand(std::string text)
{
    gf_postGuiUpdate(GuiUpdate::UserStand{std::move(text)});
}

void gf_repaintHeader()
{
    gf_postGuiUpdate(GuiUpdate::Repaint{GuiBands::Header});
}

void gf_repaintStatusPanel()
{
    gf_postGuiUpdate(GuiUpdate::Repaint{GuiBands::StatusPanel});
}

void gf_repaintAirportPanel()
{
    gf_postGuiUpdate(GuiUpdate::Repaint{GuiBands::Airport});
}

void gf_postSwitchSim()
{
    gf_uiSink().postRequest(WindowRequest::SwitchSim);
}
