#include "LinkEvents.h"

HEVENT g_hLinkAckEvent = nullptr;
HEVENT g_hLinkDoneEvent = nullptr;

void CreateLinkEvents() {
    g_hLinkDoneEvent = CreateEventA(false, false);
    g_hLinkAckEvent = CreateEventA(false, false);
}

void CloseLinkEvents() {
    CloseHandle(g_hLinkDoneEvent);
    g_hLinkDoneEvent = nullptr;
    CloseHandle(g_hLinkAckEvent);
    g_hLinkAckEvent = nullptr;
}
