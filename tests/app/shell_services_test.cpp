// The folder picker and the folder opener, with the system dialog and
// Explorer replaced by fakes.
#include <windows.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "app/controls.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace {

// True while COM is initialised on the calling thread.
bool comUp()
{
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    return CoGetApartmentType(&type, &qualifier) == S_OK;
}

struct Releases {
    int count = 0;
    int withComDown = 0;
    void note()
    {
        ++count;
        if (!comUp())
            ++withComDown;
    }
};

class FakeItem : public IShellItem {
public:
    explicit FakeItem(Releases& r) : releases(r) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        releases.note();
        return 1;
    }
    HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParent(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDisplayName(SIGDN, LPWSTR* name) override
    {
        const wchar_t text[] = L"C:\\MSFS\\Community";
        *name = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(text)));
        memcpy(*name, text, sizeof(text));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAttributes(SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Compare(IShellItem*, SICHINTF, int*) override { return E_NOTIMPL; }
    Releases& releases;
};

class FakeDialog : public IFileOpenDialog {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        releases.note();
        return 1;
    }
    HRESULT STDMETHODCALLTYPE Show(HWND) override { return showResult; }
    HRESULT STDMETHODCALLTYPE SetFileTypes(UINT, const COMDLG_FILTERSPEC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFileTypeIndex(UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFileTypeIndex(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IFileDialogEvents*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOptions(FILEOPENDIALOGOPTIONS fos) override
    {
        options = fos;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetOptions(FILEOPENDIALOGOPTIONS* fos) override
    {
        *fos = FOS_NOCHANGEDIR;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetDefaultFolder(IShellItem*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFolder(IShellItem*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetFolder(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentSelection(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFileName(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFileName(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTitle(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOkButtonLabel(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFileNameLabel(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetResult(IShellItem** item) override
    {
        *item = &result;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddPlace(IShellItem*, FDAP) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDefaultExtension(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Close(HRESULT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetClientGuid(REFGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ClearClientData() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFilter(IShellItemFilter*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetResults(IShellItemArray**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSelectedItems(IShellItemArray**) override { return E_NOTIMPL; }

    Releases releases;
    FakeItem result{releases};
    HRESULT showResult = S_OK;
    FILEOPENDIALOGOPTIONS options = 0;
};

FakeDialog* g_dialog = nullptr;
HRESULT fakeFactory(IFileOpenDialog** dialog)
{
    *dialog = g_dialog;
    return S_OK;
}

// Runs the picker on a thread of its own, where this call initialises COM.
std::optional<std::filesystem::path> pickOnNewThread()
{
    std::optional<std::filesystem::path> result;
    bool comLeftUp = true;
    std::thread t([&] {
        result = gf_pickFolder(nullptr, {});
        comLeftUp = comUp();
    });
    t.join();
    EXPECT_FALSE(comLeftUp) << "COM is uninitialised by the call that initialised it";
    return result;
}

TEST(FolderPicker, ReleasesEveryInterfaceBeforeComGoes)
{
    FakeDialog dialog;
    g_dialog = &dialog;
    gf_setFolderDialogFactory(&fakeFactory);
    const auto picked = pickOnNewThread();
    ASSERT_TRUE(picked);
    EXPECT_EQ(picked->wstring(), L"C:\\MSFS\\Community");
    EXPECT_EQ(dialog.options, static_cast<FILEOPENDIALOGOPTIONS>(FOS_NOCHANGEDIR | 0x860));
    EXPECT_EQ(dialog.releases.count, 2) << "the dialog and the result item";
    EXPECT_EQ(dialog.releases.withComDown, 0);

    FakeDialog cancelled;
    cancelled.showResult = HRESULT_FROM_WIN32(ERROR_CANCELLED);
    g_dialog = &cancelled;
    EXPECT_FALSE(pickOnNewThread());
    EXPECT_EQ(cancelled.releases.count, 1);
    EXPECT_EQ(cancelled.releases.withComDown, 0);
    gf_setFolderDialogFactory(nullptr);
}

std::vector<std::filesystem::path> g_opened;
bool recordOpen(const std::filesystem::path& folder)
{
    g_opened.push_back(folder);
    return true;
}

TEST(FolderOpener, OpensTheFolderHoldingAnExistingFile)
{
    kvr::test::ScopedTestFolders folders("opener");
    g_opened.clear();
    gf_setShellOpenHook(&recordOpen);
    EXPECT_FALSE(gf_openFolderInExplorer(folders.root() / "missing.txt"));
    EXPECT_TRUE(g_opened.empty());
    kvr::test::writeBytes(folders.root() / "here.txt", "x");
    EXPECT_TRUE(gf_openFolderInExplorer(folders.root() / "here.txt"));
    ASSERT_EQ(g_opened.size(), 1u);
    EXPECT_EQ(g_opened[0], folders.root());
    gf_setShellOpenHook(nullptr);
}

} // namespace
