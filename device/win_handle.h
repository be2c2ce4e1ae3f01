// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ownership of a Windows kernel handle: closed when the owner goes.
#include <windows.h>

class CWinHandle {
public:
    CWinHandle() = default;
    explicit CWinHandle(HANDLE handle) : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~CWinHandle() { Reset(); }
    CWinHandle(const CWinHandle&) = delete;
    CWinHandle& operator=(const CWinHandle&) = delete;
    CWinHandle(CWinHandle&& other) noexcept : m_handle(other.m_handle) { other.m_handle = nullptr; }
    CWinHandle& operator=(CWinHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_handle = other.m_handle;
            other.m_handle = nullptr;
        }
        return *this;
    }

    HANDLE Get() const { return m_handle; }
    // Gives the handle up to a new owner.
    HANDLE Release()
    {
        HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    bool IsValid() const { return m_handle != nullptr; }
    void Reset()
    {
        if (m_handle != nullptr) {
            CloseHandle(m_handle);
            m_handle = nullptr;
        }
    }

private:
    HANDLE m_handle = nullptr;   // null, never INVALID_HANDLE_VALUE, while none
};
