// The current pixel's values, published by the filter's evaluation and read
// by every pixel sample node, and the numbering of the node's outputs.
#pragma once

#include "sdk/handles.h"

// One record for the whole module, zero at load and never reset.
struct PixelSampleRecord {
    double color[3];  // the pixel's rendered colour (every pixel)
    double alpha;     // its alpha; on a hit, the surface's transparency
    double diffuse;
    double luminosity;
    double specularity;
    double reflection;
    double transparency;
    double translucency;
    double reflecblur;
    double refrctblur;
    double bumheight;
    double diffsharpness;
    double rawColorR;
    double rawColorG;
    double rawColorB;
    double replacementColor[3];
    double replacementPercentage;
    double special;  // never written
    double shading;
    double diffuseShading[3];
    double specularShading[3];
    double shaddow;  // the surface's diffuse value
    double motionX;  // never written
    double motionY;  // never written
    double reflectionShadeR;
    double reflectionShadeG;
    double reflectionShadeB;
    double refractionShade[3];
    double sx;  // position of the last pixel that hit a surface
    double sy;
};

extern PixelSampleRecord PixelSample;

// One output of the pixel sample node. Output k (counted from 1) delivers
// entry k-1. A colour is either three consecutive doubles at `value`, or,
// where `parts` is set, three separate fields assembled red, green, blue.
struct SampleOutput {
    const char* name;
    HostConnectionType type;
    const double* value;
    const double* parts[3];
};

inline constexpr int kSampleOutputCount = 26;
extern const SampleOutput kSampleOutputs[kSampleOutputCount];
