// Frame presentation: converting the planar frame into a DirectDraw surface.
// The device's present_frame, blit_to_screen and flip (display_device.h)
// are defined beside it, in present.cpp.
#pragma once

#include "display/directdraw.h"
#include "display/pixel_convert.h"
#include "tamber_applet.h"

namespace tamber {

// Locks `target`, converts the top-left part of `view` that the surface
// covers into it row by row with the converter for `format`, and unlocks
// it. DDERR_INVALIDPIXELFORMAT when there is no converter (the surface is
// not touched), E_INVALIDARG when the surface is larger than the view.
hresult convert_frame(const frame_view& view, ddraw::surface& target, const ddraw::pixel_format& format);

}  // namespace tamber
