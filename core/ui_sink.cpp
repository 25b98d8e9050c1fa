#include "core/ui_sink.h"

#include <atomic>

#include <fmt/format.h>

#include "core/log.h"

void UiSink::enqueueUpdate(GuiUpdate&& update) noexcept
{
    try {
        if (auto* message = std::get_if<GuiUpdate::Message>(&update.payload)) {
            if (message->log && !message->text.empty())
                gf_logNoThrow(message->text);
        } else if (auto* error = std::get_if<GuiUpdate::Error>(&update.payload)) {
            gf_logNoThrow(fmt::format("Error {}", error->text));
        }
    } catch (...) {
    }
}

void UiSink::showMessage(std::string text, bool log)
{
    enqueueUpdate(GuiUpdate::Message{std::move(text), log});
}

void UiSink::showError(std::string text)
{
    enqueueUpdate(GuiUpdate::Error{std::move(text)});
}

namespace {

// Used while no window has registered: the log is the only place to tell.
class LogOnlySink final : public UiSink {};

LogOnlySink g_logOnlySink;
std::atomic<UiSink*> g_sink{nullptr};

} // namespace

UiSink* gf_setUiSink(UiSink* sink) noexcept
{
    return g_sink.exchange(sink);
}

UiSink& gf_uiSink() noexcept
{
    UiSink* sink = g_sink.load();
    return sink ? *sink : g_logOnlySink;
}

void gf_changeControl(std::function<void()> job) { gf_uiSink().runOnGuiThread(std::move(job)); }
