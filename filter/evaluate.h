// The pixel filter's per-pixel evaluation.
#pragma once

#include "sdk/pixel.h"

extern "C" void PX_CDECL FilterEvaluate(void* instance,
                                        const HostPixelAccess* pixelAccess) noexcept;
