#include "filter/pixel_sample.h"

PixelSampleRecord PixelSample = {};

namespace {
constexpr HostConnectionType kColor = kConnectionColor;
constexpr HostConnectionType kScalar = kConnectionScalar;
const PixelSampleRecord& P = PixelSample;
}  // namespace

// The node creates its outputs in this order; the host numbers them from 1.
const SampleOutput kSampleOutputs[kSampleOutputCount] = {
    {"Color", kColor, P.color, {}},                                             // 1
    {"Alpha", kScalar, &P.alpha, {}},                                           // 2
    {"Diffuse", kScalar, &P.diffuse, {}},                                       // 3
    {"Luminosity", kScalar, &P.luminosity, {}},                                 // 4
    {"Specularity", kScalar, &P.specularity, {}},                               // 5
    {"Reflection", kScalar, &P.reflection, {}},                                 // 6
    {"Transparency", kScalar, &P.transparency, {}},                             // 7
    {"Translucency", kScalar, &P.translucency, {}},                             // 8
    {"Reflecblur", kScalar, &P.reflecblur, {}},                                 // 9
    {"Refrctblur", kScalar, &P.refrctblur, {}},                                 // 10
    {"Bumheight", kScalar, &P.bumheight, {}},                                   // 11
    {"Diffsharpness", kScalar, &P.diffsharpness, {}},                           // 12
    {"RawColor", kColor, nullptr, {&P.rawColorR, &P.rawColorG, &P.rawColorB}},  // 13
    {"Replacement Color", kColor, P.replacementColor, {}},                      // 14
    {"Replacement Percentage", kScalar, &P.replacementPercentage, {}},          // 15
    {"Special", kScalar, &P.special, {}},                                       // 16
    {"Shading", kScalar, &P.shading, {}},                                       // 17
    {"DiffuseShading", kColor, P.diffuseShading, {}},                           // 18
    {"SpecularShading", kColor, P.specularShading, {}},                         // 19
    {"Shaddow", kScalar, &P.shaddow, {}},                                       // 20
    {"MotionX", kScalar, &P.motionX, {}},                                       // 21
    {"MotionY", kScalar, &P.motionY, {}},                                       // 22
    {"Reflection Shade",
     kColor,
     nullptr,
     {&P.reflectionShadeR, &P.reflectionShadeG, &P.reflectionShadeB}},  // 23
    {"Refraction Shade", kColor, P.refractionShade, {}},                // 24
    {"sx", kScalar, &P.sx, {}},                                         // 25
    {"sy", kScalar, &P.sy, {}},                                         // 26
};
