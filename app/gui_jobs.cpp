#include "app/gui_jobs.h"

#include <windows.h>

#include <deque>
#include <mutex>

#include <fmt/format.h>

#include "app/gui.h"
#include "core/control_calls.h"
#include "core/log.h"
#include "core/text.h"

namespace {

std::mutex jobsMutex;
std::deque<std::function<void()>> jobs;
bool jobsPosted = false;

bool lf_onGuiThread()
{
    const uint32_t id = Gui::instance().guiThreadId.load();
    return id != 0 && id == GetCurrentThreadId();
}

void lf_runJob(const std::function<void()>& job) noexcept
{
    try {
        job();
    } catch (const std::exception& e) {
        gf_logNoThrow(fmt::format("Control change failed: {}", e.what()));
    } catch (...) {
        gf_logNoThrow("Control change failed");
    }
}

// Posts a combo box's fill, from copies: reset, add, then select the item at
// `index` or, without one, the first item that begins with `current`.
void lf_postFill(const GuiControl& control, std::vector<std::wstring> items, std::optional<size_t> index,
                 std::optional<std::wstring> current)
{
    const GuiControl* c = &control;
    gf_runOnGuiThread([c, items = std::move(items), index, current = std::move(current)] {
        if (c->hasWindow())
            gf_fillComboBox(c->window, items, index, current);
    });
}

// A string choice's fill: selects the first item that begins with the value
// (ignoring case).
void lf_postStringFill(const GuiControl& control, const std::vector<std::string>& options, const std::string& value)
{
    std::vector<std::wstring> items;
    items.reserve(options.size());
    for (const std::string& o : options)
        items.push_back(utf8_to_wide(o));
    lf_postFill(control, std::move(items), std::nullopt, utf8_to_wide(value));
}

} // namespace

std::recursive_mutex& gf_controlValuesMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

void gf_runOnGuiThread(std::function<void()> job) noexcept
{
    HWND window = Gui::instance().hwnd.load();
    if (lf_onGuiThread() || window == nullptr) {
        lf_runJob(job);
        return;
    }
    try {
        std::lock_guard lock(jobsMutex);
        jobs.push_back(std::move(job));
        if (jobsPosted)
            return;
        jobsPosted = PostMessageW(window, MSG_GUI_JOB, 0, 0) != FALSE;
    } catch (...) {
        gf_logNoThrow("Posting a control change failed");
    }
}

size_t gf_drainGuiJobs()
{
    std::deque<std::function<void()>> local;
    {
        std::lock_guard lock(jobsMutex);
        local.swap(jobs);
        jobsPosted = false;
    }
    for (const auto& job : local)
        lf_runJob(job);
    return local.size();
}

void gf_dropGuiJobs()
{
    std::lock_guard lock(jobsMutex);
    jobs.clear();
    jobsPosted = false;
}

void gf_enableControl(const GuiControl& control, bool enabled)
{
    const GuiControl* c = &control;
    gf_runOnGuiThread([c, enabled] {
        if (c->hasWindow())
            EnableWindow(c->window, enabled ? TRUE : FALSE);
    });
}

void gf_setCheckMark(const GuiControl& control, bool checked)
{
    const GuiControl* c = &control;
    gf_runOnGuiThread([c, checked] {
        if (c->hasWindow())
            SendMessageW(c->window, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    });
}

void gf_selectComboIndex(const GuiControl& control, std::optional<size_t> index)
{
    if (!index)
        return;
    const GuiControl* c = &control;
    const size_t i = *index;
    gf_runOnGuiThread([c, i] {
        if (c->hasWindow())
            SendMessageW(c->window, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    });
}

void gf_fillComboBox(const IntChoiceParameter& p)
{
    if (lf_onGuiThread()) {
        p.fillComboBox();
        return;
    }
    std::vector<std::wstring> items;
    for (int32_t option : p.options)
        items.push_back(std::to_wstring(option));
    lf_postFill(p, std::move(items), p.indexOfValue(), std::nullopt);
}

void gf_fillComboBox(const StringChoiceParameter& p)
{
    if (lf_onGuiThread())
        p.fillComboBox();
    else
        lf_postStringFill(p, p.options, p.value);
}

void gf_fillComboBox(const DynamicChoiceParameter& p)
{
    if (lf_onGuiThread())
        p.fillComboBox();
    else
        lf_postStringFill(p, *p.options, p.value);
}

void gf_fillComboBox(const FloatChoiceParameter& p)
{
    std::vector<std::wstring> items;
    std::optional<size_t> selected;
    for (size_t i = 0; i < p.options.size(); ++i) {
        items.push_back(utf8_to_wide(fmt::format("{:.1f}", p.options[i])));
        if (!selected && p.options[i] == p.value)
            selected = i;
    }
    lf_postFill(p, std::move(items), selected, std::nullopt);
}

void gf_setControlText(const GuiControl& control, const std::string& text)
{
    std::wstring wide = utf8_to_wide(text);
    const GuiControl* c = &control;
    gf_runOnGuiThread([c, wide = std::move(wide)] {
        if (c->hasWindow())
            SetWindowTextW(c->window, wide.c_str());
    });
}
