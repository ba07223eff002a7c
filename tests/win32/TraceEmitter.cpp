// Helper program of the trace suite: writes two diagnostic lines through the
// platform's default trace sink and exits.
#include "Trace.h"

int main() {
    OutputDebugStringA("WinSock2 Init\n");
    // A connect failure's GB2312 line goes out as the bytes it is.
    OutputDebugStringA("1.2.3.4 \xc3\xbb\xd3\xd0\xd4\xda\xcd\xf8\xc2\xe7\xc9\xcf\n");
    return 0;
}
