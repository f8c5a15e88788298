// Scene, item, camera and channel services, and the services the filter
// acquires but never calls.
#pragma once

#include "sdk/abi.h"
#include "sdk/handles.h"

struct HostCameraRay;

inline constexpr char kEnvelopeFuncsName[] = "Animation Envelopes";
struct HostEnvelopeFuncs {
    HostReservedFn op1;  // 1
    HostReservedFn op2;  // 2
    // 3 create group: (parent group or null, name) -> a new channel group under the parent
    HostChannelGroupID(PX_CDECL* createGroup)(HostChannelGroupID parent, const char* name);
};

// Item types and parameter codes of "LW Item Info 4".
enum HostItemType : int32_t {
    kItemObject = 0,
    kItemLight = 1,
    kItemCamera = 2,
};
enum HostItemParam : int32_t {
    kItemParamRight = 2,       // the item's right axis in world space
    kItemParamUp = 3,          // its up axis
    kItemParamForward = 4,     // its forward axis
    kItemParamFilmOffset = 7,  // cameras: the film offset (x, y, z) in film units
    kItemParamPosition = 8,    // the item's position in world space
};

inline constexpr char kItemInfoName[] = "LW Item Info 4";
struct HostItemInfo {
    // 1 first: (item type, second item or null) -> the first item of that type, or null
    HostItemID(PX_CDECL* first)(int32_t type, HostItemID other);
    HostReservedFn op2;  // 2
    HostReservedFn op3;  // 3
    HostReservedFn op4;  // 4
    HostReservedFn op5;  // 5
    HostReservedFn op6;  // 6
    HostReservedFn op7;  // 7
    HostReservedFn op8;  // 8
    HostReservedFn op9;  // 9
    // 10 parameter: (item, HostItemParam code, time, place for three doubles)
    void(PX_CDECL* param)(HostItemID item, int32_t code, double time, double* vector);
    HostReservedFn op11;                                          // 11
    HostReservedFn op12;                                          // 12
    HostReservedFn op13;                                          // 13
    HostChannelGroupID(PX_CDECL* channelGroup)(HostItemID item);  // 14: the item's channel group
};

// Camera flags of "LW Camera Info 5" operation 7.
enum HostCameraFlags : uint32_t {
    kCameraOwnRays = 0x80,  // rays come from the camera evaluator; a pinhole does not describe them
};

inline constexpr char kCameraInfoName[] = "LW Camera Info 5";
struct HostCameraInfo {
    double(PX_CDECL* zoomFactor)(HostItemID camera, double time);   // 1
    HostReservedFn op2;                                             // 2
    HostReservedFn op3;                                             // 3
    HostReservedFn op4;                                             // 4
    HostReservedFn op5;                                             // 5
    HostReservedFn op6;                                             // 6
    uint32_t(PX_CDECL* flags)(HostItemID camera);                   // 7: HostCameraFlags bits
    HostReservedFn op8;                                             // 8
    double(PX_CDECL* pixelAspect)(HostItemID camera, double time);  // 9
};

// "LW Scene Info 4" is a record, not a table of operations.
inline constexpr char kSceneInfoName[] = "LW Scene Info 4";
struct HostSceneInfo {
    const char* name;                                 // byte 0: the scene's name
    const char* fileName;                             // byte 4: the scene file's path
    int32_t frameStart;                               // byte 8
    int32_t frameEnd;                                 // byte 12
    int32_t frameStep;                                // byte 16
    int32_t reserved20;                               // byte 20
    PX_DOUBLE framesPerSecond;                        // byte 24
    int32_t numCameras;                               // byte 32
    int32_t numObjects;                               // byte 36
    int32_t numLights;                                // byte 40
    int32_t aaSamples;                                // byte 44: anti-aliasing samples per pixel
    int32_t frameWidth;                               // byte 48: in pixels
    int32_t frameHeight;                              // byte 52: in pixels
    int32_t reserved[9];                              // bytes 56-91
    HostItemID(PX_CDECL* renderCamera)(double time);  // byte 92: the camera rendering at a time
};
PX_AT(HostSceneInfo, fileName, 4);
PX_AT(HostSceneInfo, framesPerSecond, 24);
PX_AT(HostSceneInfo, frameWidth, 48);
PX_AT(HostSceneInfo, frameHeight, 52);
PX_AT(HostSceneInfo, renderCamera, 92);
PX_SIZE(HostSceneInfo, 96);

inline constexpr char kCameraEvalFuncsName[] = "LW Camera Evaluation Funcs 2";
struct HostCameraEvalFuncs {
    HostCameraEvaluatorID(PX_CDECL* create)(HostItemID camera);                // 1
    void(PX_CDECL* destroy)(HostCameraEvaluatorID evaluator);                  // 2
    HostError(PX_CDECL* init)(HostCameraEvaluatorID evaluator, int32_t mode);  // 3
    void(PX_CDECL* cleanup)(HostCameraEvaluatorID evaluator);                  // 4
    // 5 new time: (evaluator, frame, time)
    HostError(PX_CDECL* newTime)(HostCameraEvaluatorID evaluator, int32_t frame, double time);
    HostReservedFn op6;  // 6
    HostReservedFn op7;  // 7
    // 8 ray: (evaluator, pixel x, pixel y, lens x, lens y, time fraction, ray out) -> nonzero on
    // success
    int32_t(PX_CDECL* ray)(HostCameraEvaluatorID evaluator, double pixelX, double pixelY,
                           double lensX, double lensY, double fraction, HostCameraRay* ray);
};

// Services the filter requires at activation but never calls. The host's
// tables are opaque to us; one placeholder member stands for them.
inline constexpr char kChannelInfoName[] = "Channel Info 2";
struct HostChannelInfo {
    HostReservedFn op1;
};
inline constexpr char kInstanceUpdateName[] = "Instance Update";
struct HostInstanceUpdate {
    HostReservedFn op1;
};
inline constexpr char kMessageFuncsName[] = "Info Messages 2";
struct HostMessageFuncs {
    HostReservedFn op1;
};
inline constexpr char kXPanelFuncsName[] = "LWXPanel";
struct HostXPanelFuncs {
    HostReservedFn op1;
};
inline constexpr char kImageUtilName[] = "Image Utility 2";
struct HostImageUtil {
    HostReservedFn op1;
};
