// The records that carry a shaded surface: the host's shading record, which
// its ray shade fills, and the nodal access record that a network's
// evaluation receives. Neither holds a pointer in our declarations: a word is
// a 32-bit value, so the layout is the same on every target.
//
// Members whose meaning the host fixes for the filter are named after it
// (colour, diffuse, ...). The others are the host's; the stand-in host fills
// them with the values their names give.
#pragma once

#include "sdk/abi.h"

struct HostShadingRecord {
    uint32_t pixelX;                  // 0: the pixel being shaded
    uint32_t pixelY;                  // 4
    PX_DOUBLE objectPosition[3];      // 8: hit point in the object's space
    PX_DOUBLE worldPosition[3];       // 32: hit point in world space
    PX_DOUBLE geometricNormal[3];     // 56: the unsmoothed surface normal
    PX_DOUBLE spotSize;               // 80: the ray's footprint at the hit
    PX_DOUBLE raySource[3];           // 88: where the ray started
    PX_DOUBLE rayLength;              // 112: distance from source to hit
    PX_DOUBLE cosine;                 // 120: cosine between ray and normal
    PX_DOUBLE objectToWorld[9];       // 128: row-major 3x3
    PX_DOUBLE worldToObject[9];       // 200
    uint32_t objectTag;               // 272: which object was hit (1-based, 0 none)
    uint32_t polygonIndex;            // 276: which face of it
    PX_DOUBLE normal[3];              // 280: the shading normal
    PX_DOUBLE color[3];               // 304: surface colour, red, green, blue
    PX_DOUBLE luminosity;             // 328
    PX_DOUBLE diffuse;                // 336
    PX_DOUBLE specularity;            // 344
    PX_DOUBLE reflection;             // 352
    PX_DOUBLE transparency;           // 360
    uint8_t unused368[16];            // 368
    uint32_t rayDepth;                // 384: 0 for a camera ray
    uint32_t sampleIndex;             // 388: anti-aliasing sample of the pixel
    uint32_t threadIndex;             // 392: the tracer thread that shaded it
    uint32_t surfaceTag;              // 396: which surface was hit (1-based)
    uint32_t lightCount;              // 400: lights in the scene
    uint32_t flags;                   // 404: host-defined flags
    uint32_t materialIndex;           // 408
    uint8_t unused412[4];             // 412
    PX_DOUBLE perturbedNormal[3];     // 416: the normal after bump
    PX_DOUBLE bumpHeight;             // 440
    PX_DOUBLE translucency;           // 448
    uint8_t unused456[8];             // 456
    PX_DOUBLE shading;                // 464: light arriving at the hit, as a scalar
    uint8_t unused472[8];             // 472
    PX_DOUBLE diffuseSharpness;       // 480
    uint32_t lightTags[4];            // 488: the first four lights (1-based, 0 none)
    float lightIntensity[4];          // 504: their intensity at the hit
    float lightColor[4][3];           // 520: their colour at the hit
    uint32_t shadowFlags;             // 568: bit k set when light k is shadowed
    uint8_t unused572[4];             // 572
    PX_DOUBLE replacementPercentage;  // 576
    PX_DOUBLE replacementColor[3];    // 584
    PX_DOUBLE reflectionBlur;         // 608
    PX_DOUBLE refractionBlur;         // 616
    uint8_t unused624[8];             // 624
    PX_DOUBLE refractionIndex;        // 632
    uint32_t backFacing;              // 640: nonzero when the ray hit the back of the face
    uint8_t unused644[52];            // 644
    PX_DOUBLE refractionShade[3];     // 696: colour seen along the refracted ray
    PX_DOUBLE reflectionShade[3];     // 720: colour seen along the reflected ray
    uint32_t hitSide;                 // 744: 1 outside, 2 inside
    uint8_t unused748[4];             // 748
};
PX_AT_ALL(HostShadingRecord, pixelX, 0);
PX_AT_ALL(HostShadingRecord, pixelY, 4);
PX_AT_ALL(HostShadingRecord, objectPosition, 8);
PX_AT_ALL(HostShadingRecord, worldPosition, 32);
PX_AT_ALL(HostShadingRecord, geometricNormal, 56);
PX_AT_ALL(HostShadingRecord, spotSize, 80);
PX_AT_ALL(HostShadingRecord, raySource, 88);
PX_AT_ALL(HostShadingRecord, rayLength, 112);
PX_AT_ALL(HostShadingRecord, cosine, 120);
PX_AT_ALL(HostShadingRecord, objectToWorld, 128);
PX_AT_ALL(HostShadingRecord, worldToObject, 200);
PX_AT_ALL(HostShadingRecord, objectTag, 272);
PX_AT_ALL(HostShadingRecord, polygonIndex, 276);
PX_AT_ALL(HostShadingRecord, normal, 280);
PX_AT_ALL(HostShadingRecord, color, 304);
PX_AT_ALL(HostShadingRecord, luminosity, 328);
PX_AT_ALL(HostShadingRecord, diffuse, 336);
PX_AT_ALL(HostShadingRecord, specularity, 344);
PX_AT_ALL(HostShadingRecord, reflection, 352);
PX_AT_ALL(HostShadingRecord, transparency, 360);
PX_AT_ALL(HostShadingRecord, rayDepth, 384);
PX_AT_ALL(HostShadingRecord, sampleIndex, 388);
PX_AT_ALL(HostShadingRecord, threadIndex, 392);
PX_AT_ALL(HostShadingRecord, surfaceTag, 396);
PX_AT_ALL(HostShadingRecord, lightCount, 400);
PX_AT_ALL(HostShadingRecord, flags, 404);
PX_AT_ALL(HostShadingRecord, materialIndex, 408);
PX_AT_ALL(HostShadingRecord, perturbedNormal, 416);
PX_AT_ALL(HostShadingRecord, bumpHeight, 440);
PX_AT_ALL(HostShadingRecord, translucency, 448);
PX_AT_ALL(HostShadingRecord, shading, 464);
PX_AT_ALL(HostShadingRecord, diffuseSharpness, 480);
PX_AT_ALL(HostShadingRecord, lightTags, 488);
PX_AT_ALL(HostShadingRecord, lightIntensity, 504);
PX_AT_ALL(HostShadingRecord, lightColor, 520);
PX_AT_ALL(HostShadingRecord, shadowFlags, 568);
PX_AT_ALL(HostShadingRecord, replacementPercentage, 576);
PX_AT_ALL(HostShadingRecord, replacementColor, 584);
PX_AT_ALL(HostShadingRecord, reflectionBlur, 608);
PX_AT_ALL(HostShadingRecord, refractionBlur, 616);
PX_AT_ALL(HostShadingRecord, refractionIndex, 632);
PX_AT_ALL(HostShadingRecord, backFacing, 640);
PX_AT_ALL(HostShadingRecord, refractionShade, 696);
PX_AT_ALL(HostShadingRecord, reflectionShade, 720);
PX_AT_ALL(HostShadingRecord, hitSide, 744);
PX_SIZE_ALL(HostShadingRecord, 752);

// What a network's nodes see of the surface being evaluated.
struct HostNodalAccess {
    uint32_t pixelX;               // 0
    uint32_t pixelY;               // 4
    PX_DOUBLE objectPosition[3];   // 8
    PX_DOUBLE worldPosition[3];    // 32
    PX_DOUBLE geometricNormal[3];  // 56
    PX_DOUBLE normal[3];           // 80
    PX_DOUBLE perturbedNormal[3];  // 104
    PX_DOUBLE raySource[3];        // 128
    PX_DOUBLE rayLength;           // 152
    PX_DOUBLE spotSize;            // 160
    PX_DOUBLE cosine;              // 168
    PX_DOUBLE bumpHeight;          // 176
    PX_DOUBLE objectToWorld[9];    // 184
    PX_DOUBLE worldToObject[9];    // 256
    uint32_t rayDepth;             // 328
    uint32_t hitSide;              // 332
    uint32_t sampleIndex;          // 336
    uint32_t threadIndex;          // 340
    uint32_t surfaceTag;           // 344
    uint32_t reserved348;          // 348: not written by the filter
    uint32_t flags;                // 352
    uint32_t materialIndex;        // 356
    uint32_t objectTag;            // 360
    uint32_t polygonIndex;         // 364
    uint32_t lightTags[4];         // 368
    float lightIntensity[4];       // 384
    float lightColor[4][3];        // 400
    uint32_t shadowFlags;          // 448
    uint32_t reserved452;          // 452: not written by the filter
    PX_DOUBLE refractionIndex;     // 456
    uint32_t backFacing;           // 464
    uint32_t lightCount;           // 468
};
PX_AT_ALL(HostNodalAccess, pixelX, 0);
PX_AT_ALL(HostNodalAccess, pixelY, 4);
PX_AT_ALL(HostNodalAccess, objectPosition, 8);
PX_AT_ALL(HostNodalAccess, worldPosition, 32);
PX_AT_ALL(HostNodalAccess, geometricNormal, 56);
PX_AT_ALL(HostNodalAccess, normal, 80);
PX_AT_ALL(HostNodalAccess, perturbedNormal, 104);
PX_AT_ALL(HostNodalAccess, raySource, 128);
PX_AT_ALL(HostNodalAccess, rayLength, 152);
PX_AT_ALL(HostNodalAccess, spotSize, 160);
PX_AT_ALL(HostNodalAccess, cosine, 168);
PX_AT_ALL(HostNodalAccess, bumpHeight, 176);
PX_AT_ALL(HostNodalAccess, objectToWorld, 184);
PX_AT_ALL(HostNodalAccess, worldToObject, 256);
PX_AT_ALL(HostNodalAccess, rayDepth, 328);
PX_AT_ALL(HostNodalAccess, hitSide, 332);
PX_AT_ALL(HostNodalAccess, sampleIndex, 336);
PX_AT_ALL(HostNodalAccess, threadIndex, 340);
PX_AT_ALL(HostNodalAccess, surfaceTag, 344);
PX_AT_ALL(HostNodalAccess, reserved348, 348);
PX_AT_ALL(HostNodalAccess, flags, 352);
PX_AT_ALL(HostNodalAccess, materialIndex, 356);
PX_AT_ALL(HostNodalAccess, objectTag, 360);
PX_AT_ALL(HostNodalAccess, polygonIndex, 364);
PX_AT_ALL(HostNodalAccess, lightTags, 368);
PX_AT_ALL(HostNodalAccess, lightIntensity, 384);
PX_AT_ALL(HostNodalAccess, lightColor, 400);
PX_AT_ALL(HostNodalAccess, shadowFlags, 448);
PX_AT_ALL(HostNodalAccess, reserved452, 452);
PX_AT_ALL(HostNodalAccess, refractionIndex, 456);
PX_AT_ALL(HostNodalAccess, backFacing, 464);
PX_AT_ALL(HostNodalAccess, lightCount, 468);
PX_SIZE_ALL(HostNodalAccess, 472);
