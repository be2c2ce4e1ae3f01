// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_window_speech.h"

#include <initguid.h>
#include <windows.h>
#include <oleacc.h>

#include "device/win_text.h"

CWindowSpeech::~CWindowSpeech()
{
    Forget();
    if (m_services != nullptr) {
        m_services->Release();
    }
    if (m_comStarted) {
        CoUninitialize();
    }
}

void CWindowSpeech::Set(HWND__* window, const std::string& name, const std::string& description)
{
    if (!m_tried) {
        m_tried = true;
        // The window's thread may not have COM yet; started here, it is
        // ended with the speech (S_FALSE: it had it, and counts once more).
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        m_comStarted = SUCCEEDED(com);
        void* services = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                       &services))) {
            m_services = static_cast<IAccPropServices*>(services);
        }
    }
    if (m_services == nullptr || window == nullptr) {
        return;
    }
    m_window = window;
    m_services->SetHwndPropStr(window, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME,
                               WideText(name).c_str());
    m_services->SetHwndPropStr(window, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_DESCRIPTION,
                               WideText(description).c_str());
}

void CWindowSpeech::Announce() const
{
    if (m_window != nullptr) {
        NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, m_window, OBJID_CLIENT, CHILDID_SELF);
        NotifyWinEvent(EVENT_OBJECT_DESCRIPTIONCHANGE, m_window, OBJID_CLIENT, CHILDID_SELF);
    }
}

void CWindowSpeech::Forget()
{
    if (m_services != nullptr && m_window != nullptr) {
        MSAAPROPID props[] = {PROPID_ACC_NAME, PROPID_ACC_DESCRIPTION};
        m_services->ClearHwndProps(m_window, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, props, 2);
    }
    m_window = nullptr;
}
