// Looking up RealTraffic.lic, its file format and the credential window.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "core/log.h"
#include "core/text.h"
#include "core/value_types.h"
#include "feed/rt_credential.h"
#include "tests/support/file_bytes.h"
#include "tests/support/own_window.h"
#include "tests/support/test_folders.h"

namespace fs = std::filesystem;
using kvr::test::readBytes;
using kvr::test::writeBytes;

namespace {

// Answers the credential window from another thread, as a user would.
class WindowDriver {
public:
    // `typed` is sent as key strokes; ok = press OK, else Cancel.
    WindowDriver(std::wstring typed, bool ok)
        : thread([this, typed = std::move(typed), ok] {
              // The window is there once it is shown with its controls.
              HWND w = nullptr;
              auto ready = [&w] {
                  w = kvr::test::findOwnWindow(L"KeloLicenseTokenDialog");
                  return w && IsWindowVisible(w) && GetDlgItem(w, 1001);
              };
              for (int i = 0; i < 1000 && !ready(); ++i)
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              if (!ready())
                  return;
              found = true;
              HWND input = GetDlgItem(w, 1001);
              limit = static_cast<int>(SendMessageW(input, EM_GETLIMITTEXT, 0, 0));
              wchar_t title[64] = {};
              GetWindowTextW(w, title, 64);
              windowTitle = title;
              // While it is active the window keeps the focus on its input. The
              // test programs beside this one share the display and may take the
              // foreground: it is taken back as a user would, by activating it.
              for (int i = 0; i < 1000 && !focusOnInput; ++i) {
                  GUITHREADINFO info{};
                  info.cbSize = sizeof(info);
                  const bool known = GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &info);
                  focusOnInput = known && info.hwndActive == w && info.hwndFocus == input;
                  if (focusOnInput)
                      break;
                  if (known && info.hwndActive != w && i % 20 == 0)
                      SetForegroundWindow(w);
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
              for (wchar_t c : typed)
                  SendMessageW(input, WM_CHAR, c, 0);
              PostMessageW(w, WM_COMMAND, ok ? IDOK : IDCANCEL, 0);
          })
    {
    }
    ~WindowDriver()
    {
        if (thread.joinable())
            thread.join();
    }
    void join() { thread.join(); }

    std::atomic<bool> found{false};
    int limit = 0;
    std::wstring windowTitle;
    bool focusOnInput = false;

private:
    std::thread thread;
};

class CredentialTest : public ::testing::Test {
protected:
    void SetUp() override { gf_openLog(); }
    void TearDown() override { gf_closeLog(); }

    std::string log()
    {
        gf_flushLog();
        return kvr::test::logText();
    }
    fs::path appDataFile() const { return folders.roamingAppData() / "InsideSystems" / "RealTraffic.lic"; }
    void writeAppData(std::string_view bytes)
    {
        fs::create_directories(appDataFile().parent_path());
        writeBytes(appDataFile(), bytes);
    }
    static std::string pathText(const fs::path& p) { return wide_to_utf8(p.wstring()); }

    kvr::test::ScopedTestFolders folders{"cred"};
};

} // namespace

TEST_F(CredentialTest, NoFileCreatesThePlaceholderAndAsksTheUser)
{
    WindowDriver user(L"rt_" + std::wstring(67, L'k'), true); // the input keeps 60 characters
    gf_getRTLicenseToken();
    user.join();
    EXPECT_TRUE(user.found.load());
    EXPECT_EQ(user.windowTitle, L"RealTraffic license");
    EXPECT_EQ(user.limit, 60);
    EXPECT_TRUE(user.focusOnInput);
    const std::string typed = "rt_" + std::string(57, 'k');
    EXPECT_EQ(gf_rtCredential().view(), typed);
    EXPECT_EQ(readBytes("RealTraffic.lic"), R"({"License":")" + typed + R"(","Name":"unknown"})");
    EXPECT_NE(log().find("Your RealTraffic API-token was taken from 'RealTraffic.lic'\n"), std::string::npos);
    EXPECT_EQ(log().find(typed), std::string::npos);
}

TEST_F(CredentialTest, CancelLeavesThePlaceholderAndEndsWith899)
{
    WindowDriver user(L"something", false);
    try {
        gf_getRTLicenseToken();
        ADD_FAILURE() << "no exception";
    } catch (const kvr::UserRelatedException& e) {
        EXPECT_EQ(e.code, 899);
        EXPECT_NE(std::string(e.what()).find("No valid RT license / API-token found"), std::string::npos);
    }
    user.join();
    EXPECT_TRUE(user.found.load());
    EXPECT_EQ(readBytes("RealTraffic.lic"), R"({"License":"fill in your API-token here","Name":"unknown"})");
    EXPECT_EQ(gf_rtCredential().view(), "");
}

TEST_F(CredentialTest, TheAppsOwnFileComesFirst)
{
    writeAppData("\xEF\xBB\xBF{\"License\": \"RT_upper\",\r\n \"Name\": \"x\"}\r\n");
    gf_getRTLicenseToken();
    EXPECT_EQ(gf_rtCredential().view(), "RT_upper");
    EXPECT_FALSE(fs::exists("RealTraffic.lic"));
    // Capitals are not a token.
    EXPECT_NE(log().find("Your RealTraffic license was taken from '" + pathText(appDataFile()) + "'\n"),
              std::string::npos);
}

TEST_F(CredentialTest, PlaceholdersAndBrokenFilesAreSkipped)
{
    writeAppData(R"({"License":"fill in your license here"})");
    writeBytes("RealTraffic.lic", R"({"License":"lic-from-program-folder","Name":"unknown"})");
    gf_getRTLicenseToken();
    EXPECT_EQ(gf_rtCredential().view(), "lic-from-program-folder");
    EXPECT_EQ(log().find("No license found"), std::string::npos); // the placeholder is skipped silently

    struct Case {
        const char* bytes;
        const char* problem;
    };
    const std::string where = pathText(appDataFile());
    for (const Case c : {Case{"[]", "Problem: JSON root is not an object"},
                         Case{R"({"License":5})", "Problem: Missing or invalid 'License' field"},
                         Case{R"({"License":""})", "Problem: Empty 'License' value"}, Case{"", "File is empty."}}) {
        writeAppData(c.bytes);
        gf_getRTLicenseToken();
        EXPECT_EQ(gf_rtCredential().view(), "lic-from-program-folder");
        EXPECT_NE(log().find(fmt::format("No license found in '{}'. {}\n", where, c.problem)), std::string::npos)
            << c.problem;
    }
}

TEST_F(CredentialTest, AMalformedFileNeverPutsItsTextIntoTheLog)
{
    // The parser's own message would quote the unterminated text it read.
    writeAppData(R"({"License": "secret-key-123)");
    writeBytes("RealTraffic.lic", R"({"License":"ok-licence"})");
    gf_getRTLicenseToken();
    const std::string text = log();
    EXPECT_NE(text.find("No license found in '" + pathText(appDataFile()) + "'. Problem: JSON parse error\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("secret"), std::string::npos) << text;
    EXPECT_EQ(text.find("ok-licence"), std::string::npos);
}

TEST_F(CredentialTest, TheFileIsReplacedWholeOrNotAtAll)
{
    writeBytes("RealTraffic.lic", R"({"License":"old-licence","Name":"unknown"})");
    ASSERT_TRUE(gf_writeRealTrafficLic("new-licence"));
    EXPECT_EQ(readBytes("RealTraffic.lic"), R"({"License":"new-licence","Name":"unknown"})");
    EXPECT_FALSE(fs::exists("RealTraffic.lic.tmp"));

    // The new text cannot be written: the old file is left as it was.
    fs::create_directory("RealTraffic.lic.tmp");
    EXPECT_FALSE(gf_writeRealTrafficLic("other-licence"));
    EXPECT_EQ(readBytes("RealTraffic.lic"), R"({"License":"new-licence","Name":"unknown"})");
    fs::remove("RealTraffic.lic.tmp");
}

TEST(SecretText, EveryBufferIsOverwrittenBeforeItIsFreed)
{
    // A short text lives in the object's own buffer, which no allocator frees.
    SecretText shortText("rt_short");
    const char* inline_ = shortText.view().data();
    shortText.wipe();
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(inline_[i], '\0');
    SecretText moved(std::string_view("rt_" + std::string(10, 'x')));
    const char* source = moved.view().data();
    SecretText target(std::move(moved));
    EXPECT_EQ(target.view(), "rt_xxxxxxxxxx");
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(source[i], '\0') << "the moved-from inline buffer";
}
