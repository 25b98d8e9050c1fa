// The main window driven as a user would: its controls built from the
// settings catalogue, its window procedure and its painting.
#include "tests/app/window_fixture.h"

#include <windowsx.h>

#include <cstdlib>
#include <stdexcept>
#include <future>
#include <set>
#include <thread>

#include "app/controls.h"
#include "app/gui_paint.h"
#include "app/main_clock.h"
#include "app/main_task.h"
#include "app/window_links.h"
#include "core/text.h"

namespace {

using namespace window_test;
using namespace gui_colour;

// Every window-bound object of the catalogue, generated from the registry
// plus the objects in no list.
std::vector<GuiControl*> allControls()
{
    const ParameterRegistry& r = gf_parameterRegistry();
    std::vector<GuiControl*> out;
    for (auto* p : r.checkBoxParams)
        out.push_back(p);
    for (auto* p : r.intChoiceParams)
        out.push_back(p);
    for (auto* p : r.stringChoiceParams)
        out.push_back(p);
    for (GuiControl* p : std::initializer_list<GuiControl*>{
             &PARKING_INTERVAL_MINUTES, &AI_PACKAGE_SELECTOR, &DESTINATION, &TBLO_BUTTON, &AIRCRAFT_BUTTON,
             &AIRCRAFT_SELECTOR, &BLOCK_BUTTON, &UNBLOCK_BUTTON, &STAND_SELECTOR, &MAX_FIT_FL, &PARK_BUTTON,
             &FLUSH_BUTTON, &SET_BUTTON})
        out.push_back(p);
    return out;
}

TEST_F(WindowTest, EveryCatalogueControlIsBuiltWithItsIdAndPlace)
{
    const auto controls = allControls();
    ASSERT_EQ(controls.size(), 55u);
    std::set<uint16_t> ids;
    for (GuiControl* c : controls) {
        SCOPED_TRACE(c->controlId);
        ASSERT_TRUE(c->hasWindow());
        EXPECT_EQ(GetDlgCtrlID(c->window), c->controlId);
        EXPECT_EQ(GetParent(c->window), hwnd);
        RECT r;
        GetWindowRect(c->window, &r);
        MapWindowPoints(HWND_DESKTOP, hwnd, reinterpret_cast<POINT*>(&r), 2);
        const int dpi = static_cast<int>(Gui::instance().dpi);
        EXPECT_EQ(r.left, MulDiv(c->controlX, dpi, 96));
        EXPECT_EQ(r.top, MulDiv(c->rowY + c->offsetY, dpi, 96));
        ids.insert(c->controlId);
    }
    EXPECT_EQ(ids.size(), 55u);
    EXPECT_EQ(Gui::instance().compactModeControls.size(), 55u);
    for (auto* box : gf_parameterRegistry().checkBoxParams)
        EXPECT_EQ(IsDlgButtonChecked(hwnd, box->controlId) == BST_CHECKED, box->value) << box->name;
    EXPECT_EQ(windowText(SET_BUTTON), L"Set");
    EXPECT_FALSE(enabled(DESTINATION));
}

TEST_F(WindowTest, CompactButtonHidesEveryControlAndSavesTheMode)
{
    Gui& gui = Gui::instance();
    const GuiRect button = gui.compactButtonRect;
    SendMessageW(hwnd, WM_LBUTTONDOWN, 0, MAKELPARAM(button.left - 5, button.top + 2));
    EXPECT_FALSE(gui.compact) << "a click beside the button does nothing";

    SendMessageW(hwnd, WM_LBUTTONDOWN, 0, MAKELPARAM(button.left + 2, button.top + 2));
    EXPECT_TRUE(gui.compact);
    EXPECT_EQ(saved("COLLAPSED"), "true");
    for (HWND c : gui.compactModeControls)
        EXPECT_FALSE(IsWindowVisible(c));
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.bottom, MulDiv(128, static_cast<int>(gui.dpi), 96));

    SendMessageW(hwnd, WM_LBUTTONDOWN, 0, MAKELPARAM(button.left + 2, button.top + 2));
    EXPECT_FALSE(gui.compact);
    EXPECT_EQ(saved("COLLAPSED"), "false");
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.bottom, MulDiv(768, static_cast<int>(gui.dpi), 96));
}

TEST_F(WindowTest, ChildrenScaleToA144DpiMonitorAndCombosKeepTheirDropDownHeight)
{
    Gui& gui = Gui::instance();
    const auto dropped = [](const GuiControl& c) {
        RECT r{};
        SendMessageW(c.window, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&r));
        return r.bottom - r.top;
    };
    const int droppedAt96 = dropped(RANGE);
    gui.rescaleChildren(96, 144);
    RECT after;
    GetWindowRect(SET_BUTTON.window, &after);
    MapWindowPoints(HWND_DESKTOP, hwnd, reinterpret_cast<POINT*>(&after), 2);
    EXPECT_EQ(after.left, MulDiv(SET_BUTTON.controlX, 144, 96));
    EXPECT_EQ(after.top, MulDiv(SET_BUTTON.rowY + SET_BUTTON.offsetY, 144, 96));
    EXPECT_EQ(after.right - after.left, 120);
    EXPECT_EQ(after.bottom - after.top, 39);
    EXPECT_GT(dropped(RANGE), droppedAt96);
    // Back to 96: the drop-down height comes from the creation height, not
    // from the closed height the combo box reports.
    gui.rescaleChildren(144, 96);
    EXPECT_NEAR(dropped(RANGE), droppedAt96, 1);
    EXPECT_EQ(gui.comboHeights.at(RANGE.window), 200);
}

TEST_F(WindowTest, WindowStaysAtLeast48PixelsOnScreen)
{
    const GuiRect work{0, 0, 1280, 1000};
    // Only 10 pixels left on screen on the right: back to 48.
    EXPECT_EQ(gf_keepOnScreen({1270, 100, 2170, 900}, work).left, 1232);
    EXPECT_EQ(gf_keepOnScreen({-890, 100, 10, 900}, work).right, 48);
    EXPECT_EQ(gf_keepOnScreen({100, -700, 1000, 10}, work).bottom, 48);
    EXPECT_EQ(gf_keepOnScreen({100, 100, 1000, 900}, work), (GuiRect{100, 100, 1000, 900}));
    // Wider than the work area: its left edge at the work area's.
    EXPECT_EQ(gf_keepOnScreen({-500, 0, 1500, 500}, work).left, 0);

    Gui& gui = Gui::instance();
    gui.MAIN_WINDOW_X.value = -30000;
    gui.ensureOnScreen(400, 20);
    EXPECT_EQ(gui.MAIN_WINDOW_X.value, 400);
    EXPECT_EQ(saved("MAIN_WINDOW_X"), "400");
    RECT r;
    GetWindowRect(hwnd, &r);
    EXPECT_EQ(r.left, 400) << "the window moves to the fallback";
}

TEST_F(WindowTest, BrokenSettingsFileIsKeptAsOneGenerationAndRemoved)
{
    const auto path = gf_parametersXmlPath();
    kvr::test::writeBytes(path, "<root><parameters><parameter name=");
    lf_readWindowPosition(path);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(std::filesystem::exists(path.parent_path() / "parameters0.xml"));
    EXPECT_NE(log().find("failed to load"), std::string::npos);

    kvr::test::writeBytes(path, "<root><parameters><parameter name=\"MAIN_WINDOW_X\" value=\"99999\"/>"
                                "<parameter name=\"MAIN_WINDOW_Y\" value=\"abc\"/></parameters></root>");
    lf_readWindowPosition(path);
    EXPECT_EQ(Gui::instance().MAIN_WINDOW_X.value, 30000);
    EXPECT_EQ(Gui::instance().MAIN_WINDOW_Y.value, 20);
}

// The position saved at exit meets a file that another program holds: after
// a short bounded wait it is kept beside the file, and the next start opens
// the window there and saves it.
TEST_F(WindowTest, APositionRefusedAtExitPlacesTheWindowAtTheNextStart)
{
    ASSERT_TRUE(gf_loadParametersFile());
    SetWindowPos(hwnd, nullptr, 321, 123, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    int64_t waitedNs = 0;
    gf_setMainClock([] { return int64_t{0}; }, [&waitedNs](int64_t ns) { waitedNs += ns; });
    const HANDLE held = CreateFileW(gf_parametersXmlPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SendMessageW(hwnd, MSG_EXIT, 0, 0);
    CloseHandle(held);
    gf_setMainClock({}, {});
    EXPECT_EQ(waitedNs, 2 * kNsPerSecond);
    EXPECT_EQ(saved("MAIN_WINDOW_X"), "400");
    EXPECT_EQ(gf_pendingSettingText("MAIN_WINDOW_X"), "321");
    EXPECT_EQ(gf_pendingSettingText("MAIN_WINDOW_Y"), "123");
    EXPECT_NE(log().find("they were kept in " + wide_to_utf8(gf_pendingParametersXmlPath().wstring())),
              std::string::npos);

    settings_test::resetAllSettings(); // a new process
    lf_readWindowPosition(gf_parametersXmlPath());
    EXPECT_EQ(Gui::instance().MAIN_WINDOW_X.value, 321);
    EXPECT_EQ(Gui::instance().MAIN_WINDOW_Y.value, 123);
    EXPECT_FALSE(gf_loadParametersFile());
    EXPECT_EQ(saved("MAIN_WINDOW_X"), "321");
    EXPECT_EQ(saved("MAIN_WINDOW_Y"), "123");
    EXPECT_FALSE(std::filesystem::exists(gf_pendingParametersXmlPath()));
}

TEST_F(WindowTest, ProductionFlagIsReadFromTheCommandLine)
{
    EXPECT_TRUE(lf_isProductionCommandLine(L"Kelo.exe --PRODUCTION"));
    EXPECT_TRUE(lf_isProductionCommandLine(L"\"C:\\a b\\Kelo.exe\" x --production"));
    EXPECT_FALSE(lf_isProductionCommandLine(L"--production"));
    EXPECT_FALSE(lf_isProductionCommandLine(L"Kelo.exe --productions"));
}

TEST_F(WindowTest, SwitchSimPicksTheOtherSimulatorAndRestarts)
{
    setMode(false, 1);
    SIM_CHOICE.fillComboBox();
    PostMessageW(hwnd, MSG_SWITCH_SIM, 0, 0);
    pump();
    EXPECT_EQ(SIM_CHOICE.value, "MSFS 2024");
    EXPECT_EQ(saved("SIM_CHOICE"), "MSFS 2024");
    EXPECT_EQ(comboSel(SIM_CHOICE), 1);
    ASSERT_TRUE(stop());
    EXPECT_EQ(stop()->code, 3u);
    EXPECT_EQ(stop()->arg, 0u);
    EXPECT_NE(log().find("Switching MSFS version in Kelo"), std::string::npos);
}

std::atomic<HWND> bodyWindow{nullptr};
void waitForStopThenExit()
{
    while (!gf_currentStopRequest())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    PostMessageW(bodyWindow.load(), MSG_EXIT, 0, 0);
}

// Runs in a process of its own: a close request sets the exit flag for good.
TEST_F(WindowTest, CloseAsksTheMainTaskToStopAndExitEndsTheLoop)
{
    EXPECT_EXIT(
        {
            bodyWindow = hwnd;
            gf_setMainTaskBody(&waitForStopThenExit);
            PostMessageW(hwnd, MSG_START, 0, 0);
            pump();
            bool ok = gf_mainTaskJoinable();
            SendMessageW(hwnd, WM_CLOSE, 0, 0);
            ok = ok && IsWindow(hwnd); // the window stays until the shutdown is done
            ok = ok && Gui::instance().display.timedMessage.find("close window button clicked, closing Kelo ...") !=
                           std::string::npos;
            ok = ok && stop() && stop()->code == 4;
            ok = ok && lf_runMessageLoop() == gf_processExitCode();
            ok = ok && !gf_mainTaskJoinable() && Gui::instance().isStopped();
            std::exit(ok ? 7 : 1);
        },
        ::testing::ExitedWithCode(7), "");
}

TEST_F(WindowTest, CloseAfterAFailedStartStillEndsTheProgram)
{
    EXPECT_EXIT(
        {
            // Log.txt cannot be opened: the main task does not start.
            gf_closeLog();
            std::filesystem::remove("Log.txt");
            std::filesystem::create_directory("Log.txt");
            SendMessageW(hwnd, MSG_START, 0, 0);
            bool ok = !gf_mainTaskJoinable();
            ok = ok && Gui::instance().display.stickyError.starts_with("Restart failed: ");
            SendMessageW(hwnd, WM_CLOSE, 0, 0);
            MSG exit;
            ok = ok && PeekMessageW(&exit, hwnd, MSG_EXIT, MSG_EXIT, PM_NOREMOVE);
            ok = ok && lf_runMessageLoop() == gf_processExitCode() && Gui::instance().isStopped();
            std::exit(ok ? 7 : 1);
        },
        ::testing::ExitedWithCode(7), "");
}

// ---- Painting -------------------------------------------------------------

struct Recorder {
    std::vector<PaintedText> texts;
    Recorder() { gf_setPaintRecorder(&texts); }
    ~Recorder() { gf_setPaintRecorder(nullptr); }
    const PaintedText* find(const std::string& text) const
    {
        for (const auto& t : texts)
            if (t.text == text)
                return &t;
        return nullptr;
    }
};

void repaint(HWND hwnd)
{
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

TEST_F(WindowTest, CaptionsSitAtTheirControlsAndFollowTheColourRules)
{
    gf_modifyParameters([](Parameters& p) {
        p.RANDOM = false;
        p.MAX_PARK_SEL = 0;
        p.MAX_LIVE_SEL = 0;
        p.TIME_SHIFT_HOURS = 3;
    });
    Recorder rec;
    repaint(hwnd);
    const auto at = [&](const char* text, const GuiControl& c) {
        const PaintedText* t = rec.find(text);
        EXPECT_TRUE(t) << text;
        if (t) {
            EXPECT_EQ(t->x, c.captionX) << text;
            EXPECT_EQ(t->y, c.rowY) << text;
        }
        return t ? t->colour : 0xFFFFFFFFu;
    };
    EXPECT_EQ(at("Random", RANDOM), Yellow);
    EXPECT_EQ(at("max live", MAX_LIVE_SEL), Red);
    EXPECT_EQ(at("max park", MAX_PARK_SEL), Red);
    EXPECT_EQ(at("hour", TIME_SHIFT_HOURS), Yellow);
    EXPECT_EQ(at("day", TIME_SHIFT_DAYS), Black);
    EXPECT_EQ(at("Aerowinx", AEROWINX), Grey) << "RT Direct greys the Aerowinx caption";
    EXPECT_EQ(at("max fit hrs", MAX_FIT_FL), Grey) << "auto park on, RT parked only off";
    EXPECT_EQ(rec.find("MSFS")->colour, Green) << "no simulator connected";
    EXPECT_EQ(rec.find("# liveries: ...")->colour, Yellow);

    rec.texts.clear();
    Gui::instance().enqueueUpdate(GuiUpdate::DisableTimeShift{});
    Gui::instance().enqueueUpdate(GuiUpdate::Error{"broken"});
    Gui::instance().enqueueUpdate(GuiUpdate::Message{"hidden", false});
    repaint(hwnd);
    EXPECT_EQ(at("hour", TIME_SHIFT_HOURS), Grey);
    ASSERT_TRUE(rec.find("TIME SHIFT"));
    EXPECT_FALSE(rec.find("TIME SHIFT")->bold);
    ASSERT_TRUE(rec.find("broken"));
    EXPECT_EQ(rec.find("broken")->y, 736 + 7);
    EXPECT_FALSE(rec.find("hidden")) << "a message is not shown while an error stands";
}

bool connected() { return true; }
uint8_t simRunning() { return 2; }

TEST_F(WindowTest, HeaderShowsQnhAndTrafficOnlyWhileConnected)
{
    Gui& gui = Gui::instance();
    gui.enqueueUpdate(GuiUpdate::QnhValue{1013});
    gui.enqueueUpdate(GuiUpdate::QnhUnit{true});
    gui.enqueueUpdate(GuiUpdate::QnhState{GuiReaderState::Fresh});
    gui.enqueueUpdate(GuiUpdate::LiveTrafficState{GuiReaderState::Stopped});
    gui.enqueueUpdate(GuiUpdate::SimStatus{"Flight at EHAM"});
    Recorder rec;
    repaint(hwnd);
    EXPECT_FALSE(rec.find("29.91 inHg")) << "no RealTraffic link";

    WindowLinks links;
    links.realTrafficConnected = &connected;
    links.simConnectionState = &simRunning;
    const WindowLinks before = gf_setWindowLinks(links);
    rec.texts.clear();
    repaint(hwnd);
    gf_setWindowLinks(before);
    EXPECT_TRUE(rec.find("29.91 inHg"));
    EXPECT_TRUE(rec.find("qnh:"));
    EXPECT_FALSE(rec.find("# live aircraft:")) << "the traffic reader stopped";
    ASSERT_TRUE(rec.find("Flight at EHAM"));
    EXPECT_EQ(rec.find("Flight at EHAM")->colour, Yellow) << "simulator up, flight not running";
    EXPECT_TRUE(rec.find("No airport within reach"));
}

uint8_t failingSimState() { throw std::runtime_error("simulator state unreadable"); }

TEST_F(WindowTest, FailureInsideTheWindowProcedureIsLoggedAndShown)
{
    WindowLinks links;
    links.simConnectionState = &failingSimState;
    const WindowLinks before = gf_setWindowLinks(links);
    repaint(hwnd);
    gf_setWindowLinks(before);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_NE(log().find("==> lf_mainWndProc exception in message 0xf: simulator state unreadable"),
              std::string::npos);
    EXPECT_EQ(Gui::instance().display.stickyError, "Window failure: simulator state unreadable");
    repaint(hwnd); // and it paints again afterwards
    EXPECT_NE(log().find("Error Window failure"), std::string::npos);
}

TEST_F(WindowTest, APaintThatFailsGivesBackItsOffscreenSurface)
{
    // Leaking a memory DC and a bitmap per failed paint, a few tens of
    // thousands of paints use up every GDI handle of the process.
    SetWindowPos(hwnd, nullptr, 0, 0, 160, 80, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    WindowLinks links;
    links.simConnectionState = &failingSimState;
    const WindowLinks before = gf_setWindowLinks(links);
    HDC target = GetDC(hwnd);
    int failed = 0;
    for (int i = 0; i < 36000; ++i) {
        try {
            Gui::instance().paint(target);
        } catch (const std::runtime_error&) {
            ++failed;
        }
    }
    gf_setWindowLinks(before);
    EXPECT_EQ(failed, 36000);
    HDC probe = CreateCompatibleDC(target);
    EXPECT_NE(probe, nullptr);
    if (probe)
        DeleteDC(probe);
    ReleaseDC(hwnd, target);
}

TEST_F(WindowTest, AWindowCutShortByTheScreenPaintsAtTheScaleOfItsControls)
{
    // The screen cuts the window's height: the client area ends inside the
    // status panel, and what shows must sit where the controls and the band
    // invalidation put it, not squeezed into the smaller client area.
    Gui& gui = Gui::instance();
    RECT outer{};
    GetWindowRect(hwnd, &outer);
    SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left, MulDiv(420, static_cast<int>(gui.dpi), 96),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(hwnd, &client);
    ASSERT_LT(client.bottom, MulDiv(600, static_cast<int>(gui.dpi), 96));
    HDC target = GetDC(hwnd);
    HDC mem = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateCompatibleBitmap(target, client.right, client.bottom);
    HGDIOBJ old = SelectObject(mem, bitmap);
    gui.paint(mem);
    // The lowest row still shows the panel blue (squeezed, it would be the
    // message band), and the first separator sits at its scaled row.
    EXPECT_EQ(GetPixel(mem, 2, client.bottom - 3), RGB(153, 204, 255));
    EXPECT_EQ(GetPixel(mem, 450, MulDiv(200, static_cast<int>(gui.dpi), 96)), RGB(0, 0, 0));
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
    ReleaseDC(hwnd, target);
}

TEST_F(WindowTest, CompactWindowWithoutAirportShowsOnlyHeaderAndMessage)
{
    Gui::instance().enqueueUpdate(GuiUpdate::SetCompact{true});
    Gui::instance().enqueueUpdate(GuiUpdate::Message{"hello", false});
    Recorder rec;
    repaint(hwnd);
    EXPECT_FALSE(rec.find("DATA SOURCES"));
    EXPECT_FALSE(rec.find("# stands:   0"));
    ASSERT_TRUE(rec.find("hello"));
    EXPECT_EQ(rec.find("hello")->y, 96 + 7);
    EXPECT_EQ(rec.find("Expand")->colour, Green);

    rec.texts.clear();
    Gui::instance().enqueueUpdate(GuiUpdate::AirportCode{IcaoCode("EHAM")});
    Gui::instance().enqueueUpdate(GuiUpdate::MaxPark{0, 30});
    repaint(hwnd);
    ASSERT_TRUE(rec.find("airport: EHAM"));
    EXPECT_EQ(rec.find("airport: EHAM")->y, 103);
    EXPECT_EQ(rec.find("airport: EHAM")->colour, Yellow) << "no airport file loaded";
    EXPECT_TRUE(rec.find("# stands:   0"));
    for (const auto& t : rec.texts)
        EXPECT_EQ(t.text.find("max park:"), std::string::npos) << "max park 0 hides the static counts";
}

} // namespace
