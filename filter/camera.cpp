#include "filter/camera.h"

#include <cmath>

#include "filter/filter.h"
#include "module/host_services.h"

void NormalizeVector(double v[3], double w[3]) noexcept {
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length != 0.0) {  // NaN compares unequal, so it is scaled too
        const double r = 1.0 / length;
        v[0] *= r;
        v[1] *= r;
        v[2] *= r;
    }
    w[0] = v[0];
    w[1] = v[1];
    w[2] = v[2];
}

extern "C" HostError PX_CDECL FilterInit(void* instance, int32_t mode) noexcept {
    FilterInstance* inst = AsFilter(instance);
    const HostServicesTable& s = HostServices;
    HostItemID camera = s.sceneInfo->renderCamera(0.0);
    inst->cameraEval = nullptr;
    inst->cameraEval = s.cameraEval->create(camera);
    if (inst->cameraEval != nullptr) s.cameraEval->init(inst->cameraEval, mode);
    if (editorID != nullptr) {
        s.nodeEditor->init(editorID, mode);
        s.nodeEditor->notify(editorID, 1);
    }
    return nullptr;
}

extern "C" HostError PX_CDECL FilterNewTime(void* instance, int32_t frame, double time) noexcept {
    FilterInstance* inst = AsFilter(instance);
    const HostServicesTable& s = HostServices;
    CameraFrame& cam = inst->camera;

    if (editorID != nullptr) s.nodeEditor->newTime(editorID, frame, time);
    HostItemID camera = s.sceneInfo->renderCamera(time);
    s.itemInfo->param(camera, kItemParamRight, time, cam.right);
    s.itemInfo->param(camera, kItemParamUp, time, cam.up);
    s.itemInfo->param(camera, kItemParamForward, time, cam.forward);
    s.itemInfo->param(camera, kItemParamPosition, time, cam.rayOrigin);
    s.itemInfo->param(camera, kItemParamFilmOffset, time, cam.filmOffset);
    double unused[3];
    NormalizeVector(cam.right, unused);
    NormalizeVector(cam.up, unused);
    NormalizeVector(cam.forward, unused);
    if (editorID != nullptr) s.nodeEditor->notify(editorID, 1);
    inst->useCameraEval = (s.cameraInfo->flags(camera) & kCameraOwnRays) != 0 ? 1 : 0;
    if (inst->cameraEval != nullptr) s.cameraEval->newTime(inst->cameraEval, frame, time);
    cam.width = static_cast<double>(s.sceneInfo->frameWidth);
    cam.height = static_cast<double>(s.sceneInfo->frameHeight);
    cam.pixelAspect = s.cameraInfo->pixelAspect(camera, time);
    cam.zoom = s.cameraInfo->zoomFactor(camera, time);
    if (editorID != nullptr) {
        s.nodeEditor->newTime(editorID, frame, time);
        s.nodeEditor->notify(editorID, 1);
    }
    return nullptr;
}

extern "C" void PX_CDECL FilterCleanup(void* instance) noexcept {
    FilterInstance* inst = AsFilter(instance);
    const HostServicesTable& s = HostServices;
    if (editorID != nullptr) s.nodeEditor->cleanup(editorID);
    if (inst->cameraEval != nullptr) {
        s.cameraEval->cleanup(inst->cameraEval);
        s.cameraEval->destroy(inst->cameraEval);
        inst->cameraEval = nullptr;
    }
}
