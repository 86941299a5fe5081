// Per-pixel loops specialised by layout.
#pragma once

#include <cstdint>
#include <type_traits>

#include "pixels/pixels.h"

namespace voved {

// Runs `body` with the layout code as a compile-time constant for the three
// known layouts, so that the readers and writers inside a pixel loop need no
// switch per pixel; any other code is passed on as it is.
template <typename Body>
void WithLayout(int16_t layout, Body&& body) {
    switch (layout) {
    case kLayoutBgr:
        body(std::integral_constant<int16_t, kLayoutBgr>{});
        break;
    case kLayoutRgb:
        body(std::integral_constant<int16_t, kLayoutRgb>{});
        break;
    case kLayoutRgb555:
        body(std::integral_constant<int16_t, kLayoutRgb555>{});
        break;
    default:
        body(layout);
        break;
    }
}

}  // namespace voved
