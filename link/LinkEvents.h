// The phone link's two process-wide auto-reset events: connected or
// acknowledged, and the worker has finished.
#pragma once

#include "Event.h"

extern HEVENT g_hLinkAckEvent;
extern HEVENT g_hLinkDoneEvent;

// Done first, then ack; unnamed, auto-reset, not signalled.
void CreateLinkEvents();
// Done first, then ack.
void CloseLinkEvents();
