#include "core/ui_sink.h"

#include <atomic>

#include <fmt/format.h>

#include "core/log.h"

namespace {

// Used while no window has registered: the log is the only place to tell.
class LogOnlySink final : public UiSink {
public:
    void showMessage(std::string text, bool log) override
    {
        if (log)
            gf_logNoThrow(text);
    }
    void showError(std::string text) override
    {
        try {
            gf_logNoThrow(fmt::format("Error {}", text));
        } catch (...) {
        }
    }
    IntParameter* windowX() override { return nullptr; }
    IntParameter* windowY() override { return nullptr; }
};

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
