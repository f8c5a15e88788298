// The parts of a scene file that describe the world rather than plug-ins:
// render settings, cameras, surfaces, objects and lights.
//
//   FrameSize 640 480                 { Surface Red         { Object Ball
//   FrameRange 1 24                     Color 1 0.1 0.1       Sphere
//   FramesPerSecond 24                  Specularity 0.5       Position 0 1 0
//   Background 0.1 0.1 0.15           }                       Radius 1
//   BackgroundAlpha 0                                         Surface Red
//   Antialiasing 4                    { Light Sun           }
//   Ambient 0.05 0.05 0.05              Distant
//   RenderCamera Main                   Direction -1 -2 1   { Camera Main
//   RenderCamera Top 12                 Intensity 1.2         Position 0 1.5 -6
//                                       Shadows on            LookAt 0 0.8 0
//                                     }                       { Key 24
//                                                               Position 3 2 -5
//                                                             }
//                                                           }
//
// A camera is placed by Position and either LookAt (a point it faces, with
// world +Y up) or Rotation (heading, pitch, bank in degrees). Its own lines
// are its pose at the first frame; Key blocks give values at other frames, and
// the camera moves linearly between keys. A
// `Projection orthographic` camera forms parallel rays, which a pinhole does
// not describe. Values left out take their defaults; a file is written back
// with only the values that differ from them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/scene_text.h"
#include "host/world.h"

namespace pexil::host {

struct CameraPose {
    std::optional<Vec3> position, lookAt, rotation, filmOffset;
    std::optional<double> zoom, pixelAspect, orthoHeight;
};

struct CameraSpec {
    std::string name;
    CameraPose base;  // values at every frame, unless a key says otherwise
    std::vector<std::pair<int, CameraPose>> keys;  // by frame, increasing
    Projection projection = Projection::Perspective;
};

struct SceneWorld {
    World world;
    std::vector<CameraSpec> cameras;  // empty: one default camera
    // Which camera renders from which frame on (frame, camera name); empty: the first camera.
    std::vector<std::pair<int, std::string>> renderCameras;
};

// Reads the world's statements of a scene file, one top-level statement at a time.
class WorldReader {
  public:
    explicit WorldReader(std::string file) : file_(std::move(file)) {}
    // Takes `n` if it is one of the world's statements; false when it is not.
    // Throws SceneError for a statement it takes but cannot read.
    bool read(const SceneNode& n);
    // Resolves names and checks what spans statements. Throws SceneError.
    SceneWorld finish();

  private:
    std::string file_;
    SceneWorld result_;
    std::vector<std::pair<std::string, int>> objectSurfaces_;  // surface name, line
    std::vector<SceneNode> renderCameraLines_;
    std::vector<std::pair<std::string, int>> seen_;  // settings given once: keyword, line
};

// Writes the world canonically; reading it back gives the same world.
void WriteWorld(const SceneWorld& world, SceneWriter& writer);

// The host's cameras for a world: one per camera spec, keyed at each key's time.
void InstallCameras(Host& host, const SceneWorld& world);

// The camera axes for a pose without keys: from LookAt when given, else from Rotation.
void PoseAxes(const CameraPose& pose, CameraState& state);

}  // namespace pexil::host
