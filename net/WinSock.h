// Network start-up of the process: WinSock 2.0, and the TCP/IPv4 stream entry
// of its protocol catalogue that the transport runs on.
#pragma once

// True when the transport can run; on false it has already undone itself.
bool WinSock2Init();
void WinSock2Free();
