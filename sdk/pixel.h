// The per-pixel record a pixel filter's evaluate receives, and the camera ray
// record the camera evaluator fills.
#pragma once

#include "sdk/abi.h"

struct HostShadingRecord;

// Buffer types readable through HostPixelAccess::getValues.
enum HostBufferType : int32_t {
    kBufferDiffuseShading = 13,   // light diffusely received: three floats
    kBufferSpecularShading = 14,  // light specularly received: three floats
    kBufferRgba = 32,             // the rendered colour and alpha: four floats
};

struct HostPixelAccess {
    PX_DOUBLE sx;  // byte 0: the pixel's x position (sample position with anti-aliasing)
    PX_DOUBLE sy;  // byte 8: its y position, growing downwards
    // byte 16 get values: (buffer type, count, floats to fill)
    void(PX_CDECL* getValues)(int32_t type, int32_t count, float* out);
    void(PX_CDECL* setRgba)(const float* rgba);  // byte 20: writes the pixel's four channels
    HostReservedFn setValues;                    // byte 24
    HostReservedFn illuminate;                   // byte 28
    HostReservedFn rayTrace;                     // byte 32
    HostReservedFn rayCast;                      // byte 36
    // byte 40 ray shade: (start, unit direction, shading record to fill) -> distance to the
    // hit, negative when the ray hits nothing
    double(PX_CDECL* rayShade)(const double* start, const double* direction,
                               HostShadingRecord* shading);
};
PX_AT(HostPixelAccess, sx, 0);
PX_AT(HostPixelAccess, sy, 8);
PX_AT(HostPixelAccess, getValues, 16);
PX_AT(HostPixelAccess, setRgba, 20);
PX_AT(HostPixelAccess, rayShade, 40);
PX_SIZE(HostPixelAccess, 48);

struct HostCameraRay {
    PX_DOUBLE origin[3];     // byte 0
    PX_DOUBLE direction[3];  // byte 24: unit length
    PX_DOUBLE filter[3];     // byte 48: the camera's colour weight of the ray
};
PX_AT_ALL(HostCameraRay, origin, 0);
PX_AT_ALL(HostCameraRay, direction, 24);
PX_SIZE_ALL(HostCameraRay, 72);
