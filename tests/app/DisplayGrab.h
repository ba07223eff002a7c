// What the X server shows of a window, read over a connection of the test's
// own: only what the tool has painted and sent to the display is in it.
#pragma once

#include <QImage>

// Null when there is no X display or the window is not viewable. Safe on any
// thread: the connection is opened and closed for the one grab.
QImage GrabFromDisplay(unsigned long window);
