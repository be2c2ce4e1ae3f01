// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_name_dialog.h"

#include "device/device_labels.h"
#include "device/safe_text.h"
#include "i18n/message.h"
#include "shell/startup/device_config.h"

// After the shell's headers: windows.h defines MessageBox as a macro.
#include <windows.h>
#undef MessageBox

#include "device/win_text.h"
#include "ui/win32/win32_child_text.h"
#include "ui/win32/resource_ids.h"

namespace {

struct NameAsked {
    std::wstring title;
    std::wstring prompt;
    std::wstring now;
    std::wstring ok;
    std::wstring cancel;
    std::wstring tagPrompt;
    CalculatorNaming typed;
};


INT_PTR CALLBACK NameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* asked = reinterpret_cast<NameAsked*>(lParam);
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
        SetWindowTextW(dialog, asked->title.c_str());
        SetDlgItemTextW(dialog, IDC_NAME_PROMPT, asked->prompt.c_str());
        SetDlgItemTextW(dialog, IDOK, asked->ok.c_str());
        SetDlgItemTextW(dialog, IDCANCEL, asked->cancel.c_str());
        SetDlgItemTextW(dialog, IDC_TAG_PROMPT, asked->tagPrompt.c_str());
        SendDlgItemMessageW(dialog, IDC_TAG_FIELD, EM_LIMITTEXT, kLabelChars, 0);
        HWND field = GetDlgItem(dialog, IDC_NAME_FIELD);
        SendMessageW(field, EM_LIMITTEXT, kLabelChars, 0);
        SetWindowTextW(field, asked->now.c_str());
        SendMessageW(field, EM_SETSEL, 0, -1);
        SetFocus(field);
        return FALSE;   // the focus is set
    }
    auto* asked = reinterpret_cast<NameAsked*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    if (message != WM_COMMAND || asked == nullptr) {
        return FALSE;
    }
    if (LOWORD(wParam) == IDOK) {
        asked->typed = {ChildText(dialog, IDC_NAME_FIELD), ChildText(dialog, IDC_TAG_FIELD)};
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

std::string AskCalculatorName(HWND__* owner, const CalculatorNamer& namer, const std::string& device,
                              const std::string& shown, const std::string& now, const MoCatalogue* texts)
{
    if (!namer) {
        return {};
    }
    NameAsked asked{WideText(Message(kNameDialogTitle).Render(texts)),
                    WideText(Message(N_("A name for %s, shown from now on in the rows and the history:"),
                                     {SafeText(shown, kLabelChars)})
                                 .Render(texts)),
                    WideText(now),
                    WideText(Message(N_("OK")).Render(texts)),
                    WideText(Message(N_("Cancel")).Render(texts)),
                    WideText(Message(N_("Asset &tag (optional):")).Render(texts)),
                    {}};
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_NAME_DIALOG), owner, NameDialogProc,
                        reinterpret_cast<LPARAM>(&asked)) != IDOK ||
        TypedLabel(asked.typed.label).empty()) {
        return {};
    }
    const Message failed = namer(device, asked.typed);
    if (!failed.Empty()) {
        MessageBoxW(owner, WideText(failed.Render(texts)).c_str(), asked.title.c_str(), MB_OK | MB_ICONWARNING);
        return {};
    }
    return SafeText(TypedLabel(asked.typed.label), kLabelChars);
}
