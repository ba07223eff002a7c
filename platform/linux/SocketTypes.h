// Socket types on Linux: a socket is a descriptor, and poll() reports its
// readiness in the POLL flags of <poll.h>.
#pragma once

#include <sys/socket.h>

typedef int SOCKET;
