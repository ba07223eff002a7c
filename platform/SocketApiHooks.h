// The hooks SetSocketApiHooks set, for the two sides of SocketApi.h.
#pragma once

#include "SocketApi.h"

// A copy, so that a hook runs outside the lock and may be replaced meanwhile.
CSocketApiHooks GetSocketApiHooks();
