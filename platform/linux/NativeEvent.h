// The object behind a CEvent on Linux: an eventfd, which poll() waits on
// beside a socket.
#pragma once

typedef int NATIVE_EVENT;
constexpr NATIVE_EVENT kNoNativeEvent = -1;
