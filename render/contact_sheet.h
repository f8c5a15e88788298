// The contact sheet of the pixel sample node: one labelled picture per output,
// showing what that output holds across a frame.
#pragma once

#include "host/host.h"
#include "host/scene.h"
#include "render/image.h"
#include "render/renderer.h"

namespace pexil::render {

// Renders `frame` of the scene with its filters and, for every sample, reads
// the 26 outputs of a pixel sample node placed in the current network. Colours
// are shown as they are; scalars as grey from the lowest to the highest value
// over the frame, with that range in the label (a scalar that never changes
// shows as its value). Where the camera ray hits
// nothing the network is not evaluated, so those pixels stay black.
Image OutputsSheet(host::Host& host, host::Scene& scene, const RenderOptions& options, int frame);

}  // namespace pexil::render
