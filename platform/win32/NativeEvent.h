// The object behind a CEvent on Windows: the event's HANDLE, which
// WSAWaitForMultipleEvents waits on beside a socket's network event.
#pragma once

typedef void* NATIVE_EVENT;
constexpr NATIVE_EVENT kNoNativeEvent = nullptr;
