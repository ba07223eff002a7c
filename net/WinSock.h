// Network start-up of the process. There is no WinSock to bring up here, so
// start-up checks what the transport relies on: that a TCP/IPv4 stream socket
// can be made, and that a send to a closed peer never kills the process.
#pragma once

// True when the transport can run; on false it has already undone itself.
bool WinSock2Init();
void WinSock2Free();
