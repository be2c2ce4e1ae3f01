// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/owner_window.h"

#include <QGuiApplication>
#include <cstdint>
#include <cstdlib>
#include <xcb/xcb.h>

namespace {

xcb_connection_t* X11Connection()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

}  // namespace

OwnerWindow LookUpOwnerWindow(int owner)
{
    xcb_connection_t* connection = owner != 0 ? X11Connection() : nullptr;
    if (connection == nullptr) {
        return {};
    }
    const auto window = static_cast<xcb_window_t>(static_cast<uint32_t>(owner));
    xcb_generic_error_t* error = nullptr;
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), &error);
    std::free(error);
    if (geometry == nullptr) {
        return OwnerWindow{OwnerLookup::Missing, {}};
    }
    // Translating coordinates works for windows only (not for other drawables).
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, window, geometry->root, 0, 0),
        &error);
    std::free(error);
    OwnerWindow result{OwnerLookup::Missing, {}};
    if (origin != nullptr) {
        result = OwnerWindow{OwnerLookup::Found, QRect(origin->dst_x, origin->dst_y,
                                                       geometry->width, geometry->height)};
        std::free(origin);
    }
    std::free(geometry);
    return result;
}
