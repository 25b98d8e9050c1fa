#pragma once
// A window-update sink for the tests of the parts below the window: it
// records every update, clear and posted request in order, without a window,
// and logs a message or an error the way the log-only sink does. Registered
// for its lifetime; the sink registered before comes back afterwards.
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/gui_update.h"
#include "core/ui_sink.h"

namespace kvr::test {

class RecordingUiSink final : public UiSink {
public:
    RecordingUiSink() : previous(gf_setUiSink(this)) {}
    ~RecordingUiSink() override { gf_setUiSink(previous); }
    RecordingUiSink(const RecordingUiSink&) = delete;
    RecordingUiSink& operator=(const RecordingUiSink&) = delete;

    void enqueueUpdate(GuiUpdate&& update) noexcept override
    {
        try {
            UiSink::enqueueUpdate(GuiUpdate(update));
            std::lock_guard lock(mutex);
            recordedUpdates.push_back(std::move(update));
        } catch (...) {
        }
    }
    void clearMessage() override { enqueueUpdate(GuiUpdate::ClearMessage{}); }
    void postRequest(WindowRequest request) noexcept override
    {
        std::lock_guard lock(mutex);
        recordedRequests.push_back(request);
    }

    std::vector<GuiUpdate> updates() const
    {
        std::lock_guard lock(mutex);
        return recordedUpdates;
    }
    std::vector<WindowRequest> requests() const
    {
        std::lock_guard lock(mutex);
        return recordedRequests;
    }
    // Every recorded update of one kind, in order.
    template <class T>
    std::vector<T> all() const
    {
        std::vector<T> found;
        for (const GuiUpdate& u : updates())
            if (auto* p = std::get_if<T>(&u.payload))
                found.push_back(*p);
        return found;
    }
    // The latest recorded update of one kind.
    template <class T>
    std::optional<T> last() const
    {
        auto found = all<T>();
        if (found.empty())
            return std::nullopt;
        return found.back();
    }
    // The text of the latest timed message; empty when there was none.
    std::string lastMessage() const
    {
        auto m = last<GuiUpdate::Message>();
        return m ? m->text : std::string();
    }
    void clear()
    {
        std::lock_guard lock(mutex);
        recordedUpdates.clear();
        recordedRequests.clear();
    }

private:
    UiSink* previous;
    mutable std::mutex mutex;
    std::vector<GuiUpdate> recordedUpdates;
    std::vector<WindowRequest> recordedRequests;
};

} // namespace kvr::test
