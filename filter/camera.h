// Render-time callbacks of the pixel filter: they prepare the instance's
// camera frame before the pixels of each frame.
#pragma once

#include "sdk/abi.h"

extern "C" {
HostError PX_CDECL FilterInit(void* instance, int32_t mode) noexcept;
HostError PX_CDECL FilterNewTime(void* instance, int32_t frame, double time) noexcept;
void PX_CDECL FilterCleanup(void* instance) noexcept;
}

// Scales v to unit length in place (a zero vector stays zero) and copies it into w.
void NormalizeVector(double v[3], double w[3]) noexcept;
