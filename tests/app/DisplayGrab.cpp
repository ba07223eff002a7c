#include "DisplayGrab.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

namespace {
// A window's contents may not be viewable yet; say so instead of dying.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}
} // namespace

QImage GrabFromDisplay(unsigned long window) {
    std::unique_ptr<Display, int (*)(Display*)> pDisplay(XOpenDisplay(nullptr), XCloseDisplay);
    if (!pDisplay)
        return {};
    XSetErrorHandler(IgnoreXError);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(pDisplay.get(), window, &attributes) ||
        attributes.map_state != IsViewable)
        return {};
    // XDestroyImage is a macro.
    const auto destroy = [](XImage* pImage) { XDestroyImage(pImage); };
    std::unique_ptr<XImage, decltype(destroy)> pImage(
        XGetImage(pDisplay.get(), window, 0, 0, static_cast<unsigned>(attributes.width),
                  static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap),
        destroy);
    if (!pImage)
        return {};
    QImage image(attributes.width, attributes.height, QImage::Format_RGB32);
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x)
            image.setPixel(x, y, static_cast<QRgb>(XGetPixel(pImage.get(), x, y)) | 0xFF000000u);
    return image;
}
