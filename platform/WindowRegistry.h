// Internal to the platform layer: the handle table behind CMsgWnd.
#pragma once

#include "WinTypes.h"

class CMsgWnd;
class CMessageQueue;

namespace PlatformWindows {
HWND Register(CMsgWnd* pWnd, CMessageQueue* pQueue);
void Unregister(HWND hWnd);
} // namespace PlatformWindows
