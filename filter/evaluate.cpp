// One pixel: read it, re-cast the camera ray through it, let the host shade
// the hit, publish the hit and evaluate the network's root input.
#include "filter/evaluate.h"

#include <cmath>
#include <cstring>

#include "filter/camera.h"
#include "filter/filter.h"
#include "filter/nodal_copy.h"
#include "filter/pixel_sample.h"
#include "module/host_services.h"
#include "sdk/shading.h"

// Filled by the host's ray shade; one for the whole module, so one pixel at a
// time may be in evaluation.
HostShadingRecord shadingRecord;

namespace {

void PublishHit(const HostShadingRecord& sr, const HostPixelAccess& pixelAccess, float* buffer) {
    PixelSampleRecord& p = PixelSample;
    p.alpha = sr.transparency;
    p.diffuse = sr.diffuse;
    p.luminosity = sr.luminosity;
    p.specularity = sr.specularity;
    p.reflection = sr.reflection;
    p.transparency = sr.transparency;
    p.translucency = sr.translucency;
    p.reflecblur = sr.reflectionBlur;
    p.refrctblur = sr.refractionBlur;
    p.bumheight = sr.bumpHeight;
    p.diffsharpness = sr.diffuseSharpness;
    p.rawColorR = sr.color[0];
    p.rawColorG = sr.color[1];
    p.rawColorB = sr.color[2];
    for (int i = 0; i < 3; ++i) p.replacementColor[i] = sr.replacementColor[i];
    p.replacementPercentage = sr.replacementPercentage;
    p.shading = sr.shading;
    p.shaddow = sr.diffuse;
    p.reflectionShadeR = sr.reflectionShade[0];
    p.reflectionShadeG = sr.reflectionShade[1];
    p.reflectionShadeB = sr.reflectionShade[2];
    for (int i = 0; i < 3; ++i) p.refractionShade[i] = sr.refractionShade[i];

    // The shading buffers reuse the first three floats of the pixel buffer;
    // its fourth, the pixel's alpha, survives.
    pixelAccess.getValues(kBufferDiffuseShading, 3, buffer);
    for (double& c : p.diffuseShading) c = static_cast<double>(buffer[1]);
    pixelAccess.getValues(kBufferSpecularShading, 3, buffer);
    for (double& c : p.specularShading) c = static_cast<double>(buffer[1]);

    p.sx = pixelAccess.sx;
    p.sy = pixelAccess.sy;
}

}  // namespace

extern "C" void PX_CDECL FilterEvaluate(void* instance,
                                        const HostPixelAccess* pixelAccess) noexcept {
    FilterInstance* inst = AsFilter(instance);
    const HostServicesTable& s = HostServices;
    CameraFrame& cam = inst->camera;

    float output[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    double network[3] = {0.0, 0.0, 0.0};
    float buffer[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::memset(&shadingRecord, 0, sizeof shadingRecord);

    pixelAccess->getValues(kBufferRgba, 4, buffer);
    for (int i = 0; i < 3; ++i) PixelSample.color[i] = static_cast<double>(buffer[i]);
    PixelSample.alpha = static_cast<double>(buffer[3]);

    // Film coordinates of the pixel centre, in units of half the frame height.
    const double sx = pixelAccess->sx;
    const double sy = pixelAccess->sy;
    const double hh = cam.height * 0.5;
    const double hw = cam.width * 0.5;
    const double v = (hh - (sy + 0.5)) / hh;
    const double u = (sx - (hw - 0.5)) * (cam.pixelAspect / hh);

    double d[3];
    const double* o = cam.filmOffset;
    for (int i = 0; i < 3; ++i)
        d[i] =
            (u - o[i]) * cam.right[i] + (v - o[i]) * cam.up[i] + (cam.zoom - o[i]) * cam.forward[i];
    double direction[3];
    NormalizeVector(d, direction);

    if (inst->useCameraEval == 1 && inst->cameraEval != nullptr) {
        // A camera a pinhole does not describe: its evaluator gives the ray.
        HostCameraRay ray = {};
        s.cameraEval->ray(inst->cameraEval, sx, sy, sx, sy, 0.0, &ray);
        for (int i = 0; i < 3; ++i) cam.rayOrigin[i] = ray.origin[i];
        double own[3];
        NormalizeVector(ray.direction, own);
        if (own[0] != 0.0 || own[1] != 0.0 || own[2] != 0.0)
            for (int i = 0; i < 3; ++i) direction[i] = own[i];
    }

    // A direction of zero length names no ray: the pixel is left as a miss.
    const bool hasRay = direction[0] != 0.0 || direction[1] != 0.0 || direction[2] != 0.0;
    const double distance =
        hasRay ? pixelAccess->rayShade(cam.rayOrigin, direction, &shadingRecord) : -1.0;

    for (int i = 0; i < 4; ++i) output[i] = buffer[i];

    if (distance >= 0.0) {  // false for a miss and for NaN
        PublishHit(shadingRecord, *pixelAccess, buffer);
        CopyShadingToNodal(shadingRecord, inst->nodalAccess);
        if (editorID != nullptr) s.nodeEditor->setUserData(editorID, inst);
        if (s.nodeInput->connected(inst->rootInput) != 0) {
            s.nodeInput->evaluate(inst->rootInput, &inst->nodalAccess, network);
            for (int i = 0; i < 3; ++i) output[i] = static_cast<float>(network[i]);
            output[3] = buffer[3];
        }
    }

    pixelAccess->setRgba(output);
}
