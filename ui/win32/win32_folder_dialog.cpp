// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_folder_dialog.h"

#include <windows.h>
#include <shobjidl.h>

#include "device/win_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"

namespace {

// COM for this thread while the dialog is up; left as it was when it was
// there already.
class CComScope {
public:
    CComScope() : m_started(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~CComScope()
    {
        if (m_started) {
            CoUninitialize();
        }
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

private:
    bool m_started;
};

// Releases a COM interface on every path.
template <typename T>
class CComRef {
public:
    CComRef() = default;
    ~CComRef()
    {
        if (m_p != nullptr) {
            m_p->Release();
        }
    }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;
    T** Out() { return &m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T* Get() const { return m_p; }

private:
    T* m_p = nullptr;
};

// The program's paths are in the system's code page, as the C runtime's
// file calls take them.
std::wstring WidePath(const std::string& path)
{
    wchar_t wide[4 * MAX_PATH] = {};
    return MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, ARRAYSIZE(wide)) > 0 ? wide : L"";
}

std::string AcpPath(const wchar_t* path)
{
    char narrow[4 * MAX_PATH] = {};
    return WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, sizeof narrow, nullptr, nullptr) > 0 ? narrow : "";
}

// One showing of the dialog; false when cancelled or not shown.
bool AskOnce(HWND owner, const std::wstring& title, std::string& folder)
{
    CComRef<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                reinterpret_cast<void**>(dialog.Out())))) {
        return false;
    }
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    dialog->SetTitle(title.c_str());
    if (!folder.empty()) {
        CComRef<IShellItem> start;
        if (SUCCEEDED(SHCreateItemFromParsingName(WidePath(folder).c_str(), nullptr, IID_IShellItem,
                                                  reinterpret_cast<void**>(start.Out())))) {
            dialog->SetFolder(start.Get());
        }
    }
    CComRef<IShellItem> chosen;
    if (FAILED(dialog->Show(owner)) || FAILED(dialog->GetResult(chosen.Out()))) {
        return false;
    }
    wchar_t* path = nullptr;
    if (FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path)) || path == nullptr) {
        return false;
    }
    folder = AcpPath(path);
    CoTaskMemFree(path);
    return !folder.empty();
}

}  // namespace

bool RunWin32FolderDialog(HWND owner, std::string& folder, const ImageFolderCheck& check, const MoCatalogue* texts)
{
    const CComScope com;
    const std::wstring title =
        WideText(Message(N_("Choose the folder that holds UpdateExe.bin and UpdateCode.bin")).Render(texts));
    for (;;) {
        std::string chosen = folder;
        if (!AskOnce(owner, title, chosen)) {
            return false;
        }
        const Message refused = check ? check(chosen) : Message();
        if (refused.Empty()) {
            folder = chosen;
            return true;
        }
        // Said, then asked again where the user was.
        const Message text(N_("This folder cannot be used; choose the folder that holds the images.\r\n\r\n%s"), {refused});
        MessageBoxW(owner, WideText(text.Render(texts)).c_str(),
                    WideText(Message(N_("Error")).Render(texts)).c_str(), MB_OK | MB_ICONEXCLAMATION);
        folder = chosen;
    }
}
