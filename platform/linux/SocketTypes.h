// Socket types on Linux: a socket is a descriptor, and the address types,
// option numbers and byte-order helpers are the system's own.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

typedef int SOCKET;
