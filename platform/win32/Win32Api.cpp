#include "Win32Api.h"

#include <windows.h>

#include <chrono>
#include <cstring>

namespace Win32 {

namespace {

const char kSinkClass[] = "OrvexMessageSink";

struct CSinkCreate {
    void* pOwner;
    SinkProc pfnProc;
};

// The owner and its procedure ride in the window's extra bytes.
constexpr int kOwnerSlot = 0;
constexpr int kProcSlot = sizeof(LONG_PTR);

LRESULT CALLBACK SinkWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* pCreate = static_cast<const CSinkCreate*>(
            reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(hWnd, kOwnerSlot, reinterpret_cast<LONG_PTR>(pCreate->pOwner));
        SetWindowLongPtrA(hWnd, kProcSlot, reinterpret_cast<LONG_PTR>(pCreate->pfnProc));
    }
    auto* pOwner = reinterpret_cast<void*>(GetWindowLongPtrA(hWnd, kOwnerSlot));
    auto pfnProc = reinterpret_cast<SinkProc>(GetWindowLongPtrA(hWnd, kProcSlot));
    if (pfnProc != nullptr) {
        bool bHandled = false;
        const intptr_t result =
            pfnProc(pOwner, reinterpret_cast<uintptr_t>(hWnd), message, wParam, lParam, &bHandled);
        if (bHandled)
            return result;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

bool RegisterSinkClass() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = SinkWindowProc;
    wc.cbWndExtra = 2 * sizeof(LONG_PTR);
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kSinkClass;
    return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Windows ends a timed wait on its clock's tick, which may be a little
// before the time asked for; a wait here never ends before its time.
class CDeadline {
public:
    explicit CDeadline(DWORD dwMilliseconds)
        : m_bInfinite(dwMilliseconds == INFINITE),
          m_end(std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds)) {}

    // The wait still to go, rounded up (INFINITE for no limit); false once
    // the time is up.
    bool Left(DWORD* pdwLeft) const {
        if (m_bInfinite) {
            *pdwLeft = INFINITE;
            return true;
        }
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(m_end - std::chrono::steady_clock::now());
        *pdwLeft = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
        return left.count() > 0;
    }

private:
    bool m_bInfinite;
    std::chrono::steady_clock::time_point m_end;
};

RawMessage FromMsg(const MSG& msg) {
    return RawMessage{reinterpret_cast<uintptr_t>(msg.hwnd), msg.message, msg.wParam, msg.lParam};
}

} // namespace

Handle NewEvent(bool bManualReset, bool bInitialState) {
    return ::CreateEventA(nullptr, bManualReset, bInitialState, nullptr);
}

bool SetEvent(Handle hEvent) {
    return ::SetEvent(hEvent) != FALSE;
}

bool ResetEvent(Handle hEvent) {
    return ::ResetEvent(hEvent) != FALSE;
}

void CloseHandle(Handle hObject) {
    ::CloseHandle(hObject);
}

bool StartThread(unsigned long (*pfnStart)(void*), void* pArg, uint32_t* pdwThreadId) {
    DWORD dwId = 0;
    HANDLE hThread = ::CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(pfnStart),
                                    pArg, 0, &dwId);
    if (hThread == nullptr)
        return false;
    ::CloseHandle(hThread);
    *pdwThreadId = dwId;
    return true;
}

uint32_t GetCurrentThreadId() {
    return ::GetCurrentThreadId();
}

bool SetThreadPriority(uint32_t dwThreadId, int nPriority) {
    HANDLE hThread = ::OpenThread(THREAD_SET_INFORMATION, FALSE, dwThreadId);
    if (hThread == nullptr)
        return false;
    const bool bSet = ::SetThreadPriority(hThread, nPriority) != FALSE;
    ::CloseHandle(hThread);
    return bSet;
}

void MakeThreadQueue() {
    MSG msg;
    ::PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

bool PostToWindow(uintptr_t hWnd, unsigned message, uintptr_t wParam, intptr_t lParam) {
    return ::PostMessageA(reinterpret_cast<HWND>(hWnd), message, wParam, lParam) != FALSE;
}

bool PostToThread(uint32_t dwThreadId, unsigned message, uintptr_t wParam, intptr_t lParam) {
    return ::PostThreadMessageA(dwThreadId, message, wParam, lParam) != FALSE;
}

void PostQuitMessage(int nExitCode) {
    ::PostQuitMessage(nExitCode);
}

bool NextMessage(RawMessage* pMsg, uint32_t dwMilliseconds) {
    CDeadline deadline(dwMilliseconds);
    for (;;) {
        MSG msg;
        // PeekMessage also runs the messages other threads send us.
        if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            *pMsg = FromMsg(msg);
            return true;
        }
        DWORD dwLeft = 0;
        if (!deadline.Left(&dwLeft))
            return false;
        // Input that arrived before the wait counts too, not only new input.
        if (::MsgWaitForMultipleObjectsEx(0, nullptr, dwLeft, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
            WAIT_FAILED)
            return false;
    }
}

uint32_t WaitForSingleObject(Handle hObject, uint32_t dwMilliseconds) {
    CDeadline deadline(dwMilliseconds);
    DWORD dwLeft = 0;
    for (;;) {
        deadline.Left(&dwLeft);
        const DWORD rc = ::WaitForSingleObject(hObject, dwLeft);
        if (rc != WAIT_TIMEOUT || !deadline.Left(&dwLeft))
            return rc;
    }
}

bool PeekWindowMessage(uintptr_t hWnd, RawMessage* pMsg) {
    MSG msg;
    if (!::PeekMessageA(&msg, reinterpret_cast<HWND>(hWnd), 0, 0, PM_REMOVE))
        return false;
    *pMsg = FromMsg(msg);
    return true;
}

intptr_t Dispatch(const RawMessage& raw) {
    MSG msg{};
    msg.hwnd = reinterpret_cast<HWND>(raw.hwnd);
    msg.message = raw.message;
    msg.wParam = raw.wParam;
    msg.lParam = raw.lParam;
    ::TranslateMessage(&msg);
    return ::DispatchMessageA(&msg);
}

uintptr_t CreateSinkWindow(void* pOwner, SinkProc pfnProc) {
    static const bool bRegistered = RegisterSinkClass();
    if (!bRegistered)
        return 0;
    CSinkCreate create{pOwner, pfnProc};
    // A top-level window that is never shown, as the link's socket window
    // is; a message-only window would miss broadcasts the tool may want.
    HWND hWnd = ::CreateWindowExA(0, kSinkClass, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), &create);
    return reinterpret_cast<uintptr_t>(hWnd);
}

bool DestroyWindow(uintptr_t hWnd) {
    return ::DestroyWindow(reinterpret_cast<HWND>(hWnd)) != FALSE;
}

bool IsWindow(uintptr_t hWnd) {
    return ::IsWindow(reinterpret_cast<HWND>(hWnd)) != FALSE;
}

namespace {

// Closes a registry key when it leaves scope.
class CRegKey {
public:
    ~CRegKey() {
        if (m_hKey != nullptr)
            ::RegCloseKey(m_hKey);
    }
    HKEY* operator&() { return &m_hKey; }
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

bool QueryValue(const char* pszKey, const char* pszValue, DWORD dwWantedType, std::string* pData) {
    CRegKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, pszKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD dwType = 0;
    DWORD dwSize = 0;
    if (::RegQueryValueExA(key.Get(), pszValue, nullptr, &dwType, nullptr, &dwSize) !=
        ERROR_SUCCESS)
        return false;
    if (dwType != dwWantedType)
        return false;
    // The value may change between the two calls; a larger one fails the read.
    pData->assign(dwSize, '\0');
    if (::RegQueryValueExA(key.Get(), pszValue, nullptr, &dwType,
                           reinterpret_cast<BYTE*>(pData->data()), &dwSize) != ERROR_SUCCESS ||
        dwType != dwWantedType)
        return false;
    pData->resize(dwSize);
    return true;
}

bool SetValue(const char* pszKey, const char* pszValue, DWORD dwType, const void* pData,
              DWORD dwSize) {
    CRegKey key;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, pszKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    return ::RegSetValueExA(key.Get(), pszValue, 0, dwType, static_cast<const BYTE*>(pData),
                            dwSize) == ERROR_SUCCESS;
}

} // namespace

bool ReadRegistryDword(const char* pszKey, const char* pszValue, uint32_t* pdwValue) {
    std::string data;
    if (!QueryValue(pszKey, pszValue, REG_DWORD, &data) || data.size() != sizeof(DWORD))
        return false;
    DWORD dwValue;
    memcpy(&dwValue, data.data(), sizeof dwValue);
    *pdwValue = dwValue;
    return true;
}

bool ReadRegistryString(const char* pszKey, const char* pszValue, std::string* pText) {
    std::string data;
    if (!QueryValue(pszKey, pszValue, REG_SZ, &data))
        return false;
    // Stored with its terminator, or without one when written by hand.
    const size_t nEnd = data.find('\0');
    pText->assign(data, 0, nEnd == std::string::npos ? data.size() : nEnd);
    return true;
}

bool WriteRegistryDword(const char* pszKey, const char* pszValue, uint32_t dwValue) {
    const DWORD dwData = dwValue;
    return SetValue(pszKey, pszValue, REG_DWORD, &dwData, sizeof dwData);
}

bool WriteRegistryString(const char* pszKey, const char* pszValue, const char* pszText) {
    return SetValue(pszKey, pszValue, REG_SZ, pszText, static_cast<DWORD>(strlen(pszText) + 1));
}

void DebugOutput(const char* pszText) {
    ::OutputDebugStringA(pszText);
}

} // namespace Win32
