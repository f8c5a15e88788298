#include "host/scene_world.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <variant>

namespace pexil::host {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

Arg Word(std::string s) {
    return Arg{std::move(s), false};
}
Arg Num(double v) {
    return Word(formatNumber(v));
}

// One numeric property of a record: one number or three.
template <typename T>
struct Field {
    const char* key;
    std::variant<double T::*, Vec3 T::*> member;
    double low = -kInf;  // allowed range, inclusive
    double high = kInf;
    bool lowOpen = false;  // low itself is not allowed
};

const Field<Surface> kSurfaceFields[] = {
    {"Color", &Surface::color, 0},
    {"Luminosity", &Surface::luminosity, 0},
    {"Diffuse", &Surface::diffuse, 0},
    {"Specularity", &Surface::specularity, 0},
    {"Glossiness", &Surface::glossiness, 0, 1},
    {"Reflection", &Surface::reflection, 0, 1},
    {"Transparency", &Surface::transparency, 0, 1},
    {"RefractionIndex", &Surface::refractionIndex, 0, kInf, true},
    {"Translucency", &Surface::translucency, 0, 1},
    {"BumpHeight", &Surface::bumpHeight},
    {"DiffuseSharpness", &Surface::diffuseSharpness, 0, 1},
    {"ReflectionBlur", &Surface::reflectionBlur, 0, 1},
    {"RefractionBlur", &Surface::refractionBlur, 0, 1},
    {"ReplacementColor", &Surface::replacementColor, 0},
    {"ReplacementPercentage", &Surface::replacementPercentage, 0, 1},
};

const Field<Object> kObjectFields[] = {
    {"Position", &Object::position},
    {"Radius", &Object::radius, 0, kInf, true},
    {"Normal", &Object::normal},
    {"Size", &Object::size, 0, kInf, true},
};

const Field<Light> kLightFields[] = {
    {"Position", &Light::position},
    {"Direction", &Light::direction},
    {"Color", &Light::color, 0},
    {"Intensity", &Light::intensity, 0},
};

const std::pair<const char*, ShapeKind> kShapes[] = {
    {"Sphere", ShapeKind::Sphere}, {"Plane", ShapeKind::Plane}, {"Box", ShapeKind::Box}};
const std::pair<const char*, LightKind> kLightKinds[] = {{"Distant", LightKind::Distant},
                                                         {"Point", LightKind::Point}};

std::string RangeText(double low, double high, bool lowOpen) {
    if (high == kInf)
        return lowOpen ? "above " + formatNumber(low) : formatNumber(low) + " or more";
    return "from " + formatNumber(low) + " to " + formatNumber(high);
}

class BlockReader {
  public:
    BlockReader(const std::string& file, const SceneNode& block) : file_(file), block_(block) {}

    [[noreturn]] void fail(const SceneNode& at, const std::string& message) const {
        const bool inside = &at != &block_;
        throw SceneError(file_, at.line, inside ? blockPath({&block_}) : "", message);
    }
    void once(const SceneNode& line) {
        if (!given_.insert(line.keyword).second) fail(line, line.keyword + " is given twice");
    }
    std::vector<double> numbers(const SceneNode& line, std::size_t count) const {
        if (line.kind != SceneNode::Kind::Line) fail(line, line.keyword + " is not a block");
        if (line.args.size() != count)
            fail(line, line.keyword + " takes " + std::to_string(count) +
                           (count == 1 ? " number" : " numbers"));
        std::vector<double> v;
        for (const Arg& a : line.args) {
            auto x = parseNumber(a);
            if (!x) fail(line, line.keyword + ": '" + a.text + "' is not a number");
            v.push_back(*x);
        }
        return v;
    }
    template <typename T>
    bool field(const SceneNode& line, const Field<T>* begin, const Field<T>* end, T& record) {
        for (const Field<T>* f = begin; f != end; ++f) {
            if (line.keyword != f->key) continue;
            once(line);
            const bool triple = std::holds_alternative<Vec3 T::*>(f->member);
            const std::vector<double> v = numbers(line, triple ? 3 : 1);
            for (double x : v)
                if (x < f->low || x > f->high || (f->lowOpen && x == f->low))
                    fail(line, line.keyword + " must be " + RangeText(f->low, f->high, f->lowOpen) +
                                   ", not " + formatNumber(x));
            if (triple)
                record.*std::get<Vec3 T::*>(f->member) = {v[0], v[1], v[2]};
            else
                record.*std::get<double T::*>(f->member) = v[0];
            return true;
        }
        return false;
    }
    // A line that is one of the words of `table` (no arguments) picks the
    // record's kind; only one such line per block.
    template <typename Kind, std::size_t N>
    bool kind(const SceneNode& line, const std::pair<const char*, Kind> (&table)[N], Kind& out,
              bool& chosen, const char* once) const {
        for (const auto& [word, value] : table) {
            if (line.keyword != word) continue;
            if (chosen) fail(line, once);
            numbers(line, 0);
            out = value;
            chosen = true;
            return true;
        }
        return false;
    }
    std::string name(std::size_t minArgs = 1) const {
        if (block_.args.size() != minArgs || block_.args[0].text.empty())
            fail(block_, "{ " + block_.keyword + " needs a name");
        return block_.args[0].text;
    }

  private:
    const std::string& file_;
    const SceneNode& block_;
    std::set<std::string> given_;
};

template <typename T>
void WriteFields(SceneWriter& w, const T& record, const Field<T>* begin, const Field<T>* end) {
    const T defaults{};
    for (const Field<T>* f = begin; f != end; ++f) {
        if (std::holds_alternative<Vec3 T::*>(f->member)) {
            const Vec3& v = record.*std::get<Vec3 T::*>(f->member);
            if (v != defaults.*std::get<Vec3 T::*>(f->member))
                w.line(f->key, {Num(v[0]), Num(v[1]), Num(v[2])});
        } else {
            const double v = record.*std::get<double T::*>(f->member);
            if (v != defaults.*std::get<double T::*>(f->member)) w.line(f->key, {Num(v)});
        }
    }
}

// A camera pose's lines, shared by the camera block and its keys.
bool ReadPose(BlockReader& r, const SceneNode& line, CameraPose& pose) {
    auto vec = [&](std::optional<Vec3>& out) {
        r.once(line);
        const auto v = r.numbers(line, 3);
        out = Vec3{v[0], v[1], v[2]};
    };
    auto positive = [&](std::optional<double>& out) {
        r.once(line);
        const double v = r.numbers(line, 1)[0];
        if (!(v > 0)) r.fail(line, line.keyword + " must be above 0, not " + formatNumber(v));
        out = v;
    };
    const std::string& k = line.keyword;
    if (k == "Position")
        vec(pose.position);
    else if (k == "LookAt")
        vec(pose.lookAt);
    else if (k == "Rotation")
        vec(pose.rotation);
    else if (k == "FilmOffset")
        vec(pose.filmOffset);
    else if (k == "Zoom")
        positive(pose.zoom);
    else if (k == "PixelAspect")
        positive(pose.pixelAspect);
    else if (k == "OrthoHeight")
        positive(pose.orthoHeight);
    else
        return false;
    if (pose.lookAt && pose.rotation) r.fail(line, "a camera takes LookAt or Rotation, not both");
    return true;
}

void WritePose(SceneWriter& w, const CameraPose& p) {
    auto vec = [&](const char* key, const std::optional<Vec3>& v) {
        if (v) w.line(key, {Num((*v)[0]), Num((*v)[1]), Num((*v)[2])});
    };
    auto num = [&](const char* key, const std::optional<double>& v) {
        if (v) w.line(key, {Num(*v)});
    };
    vec("Position", p.position);
    vec("LookAt", p.lookAt);
    vec("Rotation", p.rotation);
    num("Zoom", p.zoom);
    num("PixelAspect", p.pixelAspect);
    vec("FilmOffset", p.filmOffset);
    num("OrthoHeight", p.orthoHeight);
}

}  // namespace

void PoseAxes(const CameraPose& pose, CameraState& s) {
    const Vec3 position = pose.position.value_or(Vec3{0, 0, 0});
    if (pose.lookAt) {
        // Faces the point with world +Y up (x right, y up, z forward).
        const Vec3 f = Unit({(*pose.lookAt)[0] - position[0], (*pose.lookAt)[1] - position[1],
                             (*pose.lookAt)[2] - position[2]});
        Vec3 r = Unit(Cross({0, 1, 0}, f));
        if (r == Vec3{0, 0, 0}) r = {1, 0, 0};  // looking straight up or down
        s.forward = f;
        s.right = r;
        s.up = Cross(f, r);
        return;
    }
    // Heading turns right about +Y, pitch tilts down about the right axis, bank rolls about
    // forward.
    const Vec3 rot = pose.rotation.value_or(Vec3{0, 0, 0});
    const double d = std::acos(-1.0) / 180.0;
    const double h = rot[0] * d, p = rot[1] * d, b = rot[2] * d;
    const double ch = std::cos(h), sh = std::sin(h), cp = std::cos(p), sp = std::sin(p);
    const double cb = std::cos(b), sb = std::sin(b);
    const Vec3 forward{sh * cp, -sp, ch * cp};
    const Vec3 right0{ch, 0, -sh};
    const Vec3 up0{sh * sp, cp, ch * sp};
    for (int i = 0; i < 3; ++i) {
        s.right[i] = right0[i] * cb - up0[i] * sb;
        s.up[i] = up0[i] * cb + right0[i] * sb;
    }
    s.forward = forward;
}

bool WorldReader::read(const SceneNode& n) {
    World& w = result_.world;
    RenderSettings& rs = w.settings;
    auto top = [&](const char* usage, std::size_t count) -> std::vector<double> {
        if (n.kind != SceneNode::Kind::Line)
            throw SceneError(file_, n.line, "", n.keyword + " is not a block");
        for (const auto& [keyword, line] : seen_)
            if (keyword == n.keyword)
                throw SceneError(
                    file_, n.line, "",
                    n.keyword + " is given twice (first on line " + std::to_string(line) + ")");
        seen_.emplace_back(n.keyword, n.line);
        if (n.args.size() != count)
            throw SceneError(file_, n.line, "",
                             n.keyword + " takes " + std::to_string(count) +
                                 (count == 1 ? " argument: " : " arguments: ") + usage);
        std::vector<double> v;
        for (const Arg& a : n.args) {
            auto x = parseNumber(a);
            if (!x)
                throw SceneError(file_, n.line, "",
                                 n.keyword + ": '" + a.text + "' is not a number");
            v.push_back(*x);
        }
        return v;
    };
    auto whole = [&](double v, int low, int high) {
        if (v != std::floor(v) || v < low || v > high)
            throw SceneError(file_, n.line, "",
                             n.keyword + ": '" + formatNumber(v) + "' is not a whole number from " +
                                 std::to_string(low) + " to " + std::to_string(high));
        return static_cast<int>(v);
    };
    const std::string& k = n.keyword;
    if (n.kind == SceneNode::Kind::Line && k == "FrameSize") {
        const auto v = top("width and height in pixels", 2);
        rs.width = whole(v[0], 1, 65536);
        rs.height = whole(v[1], 1, 65536);
    } else if (n.kind == SceneNode::Kind::Line && k == "FrameRange") {
        const auto v = top("first and last frame", 2);
        rs.firstFrame = whole(v[0], -1'000'000, 1'000'000);
        rs.lastFrame = whole(v[1], -1'000'000, 1'000'000);
        if (rs.lastFrame < rs.firstFrame)
            throw SceneError(file_, n.line, "",
                             "FrameRange: the last frame comes before the first");
    } else if (n.kind == SceneNode::Kind::Line && k == "FramesPerSecond") {
        rs.framesPerSecond = top("frames per second", 1)[0];
        if (!(rs.framesPerSecond > 0))
            throw SceneError(file_, n.line, "", "FramesPerSecond must be above 0");
    } else if (n.kind == SceneNode::Kind::Line && k == "Background") {
        const auto v = top("red, green and blue", 3);
        rs.background = {v[0], v[1], v[2]};
    } else if (n.kind == SceneNode::Kind::Line && k == "BackgroundAlpha") {
        rs.backgroundAlpha = top("alpha from 0 to 1", 1)[0];
        if (rs.backgroundAlpha < 0 || rs.backgroundAlpha > 1)
            throw SceneError(file_, n.line, "", "BackgroundAlpha must be from 0 to 1");
    } else if (n.kind == SceneNode::Kind::Line && k == "Antialiasing") {
        rs.aaSamples = whole(top("samples per pixel: 1, 4, 9, 16, ...", 1)[0], 1, 256);
        const int side = static_cast<int>(std::lround(std::sqrt(rs.aaSamples)));
        if (side * side != rs.aaSamples)
            throw SceneError(
                file_, n.line, "",
                "Antialiasing takes a square number of samples (1, 4, 9, 16, ...), not " +
                    std::to_string(rs.aaSamples));
    } else if (n.kind == SceneNode::Kind::Line && k == "Ambient") {
        const auto v = top("red, green and blue", 3);
        w.ambient = {v[0], v[1], v[2]};
    } else if (n.kind == SceneNode::Kind::Line && k == "RenderCamera") {
        if (n.args.empty() || n.args.size() > 2)
            throw SceneError(
                file_, n.line, "",
                "RenderCamera takes a camera name and, optionally, the frame it starts at");
        renderCameraLines_.push_back(n);
    } else if (n.kind == SceneNode::Kind::Brace && k == "Surface") {
        BlockReader r(file_, n);
        Surface s;
        s.name = r.name();
        for (const SceneNode& c : n.children)
            if (!r.field(c, std::begin(kSurfaceFields), std::end(kSurfaceFields), s))
                r.fail(c, "unknown keyword '" + c.keyword + "' in a surface");
        for (const Surface& other : w.surfaces)
            if (other.name == s.name) r.fail(n, "surface " + s.name + " is defined twice");
        w.surfaces.push_back(s);
    } else if (n.kind == SceneNode::Kind::Brace && k == "Object") {
        BlockReader r(file_, n);
        Object o;
        o.name = r.name();
        bool shaped = false;
        const SceneNode* surface = nullptr;
        for (const SceneNode& c : n.children) {
            if (r.field(c, std::begin(kObjectFields), std::end(kObjectFields), o)) continue;
            if (r.kind(c, kShapes, o.kind, shaped, "an object has one shape")) continue;
            if (c.keyword == "Surface") {
                r.once(c);
                if (c.kind != SceneNode::Kind::Line || c.args.size() != 1)
                    r.fail(c, "Surface takes the name of a surface");
                surface = &c;
                continue;
            }
            r.fail(c, "unknown keyword '" + c.keyword + "' in an object");
        }
        if (!shaped) r.fail(n, "object " + o.name + " needs a shape: Sphere, Plane or Box");
        if (o.kind == ShapeKind::Plane && o.normal == Vec3{0, 0, 0})
            r.fail(n, "plane " + o.name + " needs a Normal that is not zero");
        if (surface == nullptr) r.fail(n, "object " + o.name + " needs a Surface");
        for (const Object& other : w.objects)
            if (other.name == o.name) r.fail(n, "object " + o.name + " is defined twice");
        w.objects.push_back(o);
        objectSurfaces_.emplace_back(surface->args[0].text, surface->line);
    } else if (n.kind == SceneNode::Kind::Brace && k == "Light") {
        BlockReader r(file_, n);
        Light l;
        l.name = r.name();
        bool kinded = false;
        for (const SceneNode& c : n.children) {
            if (r.field(c, std::begin(kLightFields), std::end(kLightFields), l)) continue;
            if (r.kind(c, kLightKinds, l.kind, kinded, "a light has one kind")) continue;
            if (c.keyword == "Shadows") {
                r.once(c);
                if (c.kind != SceneNode::Kind::Line || c.args.size() != 1 ||
                    (c.args[0].text != "on" && c.args[0].text != "off"))
                    r.fail(c, "Shadows takes on or off");
                l.shadows = c.args[0].text == "on";
                continue;
            }
            r.fail(c, "unknown keyword '" + c.keyword + "' in a light");
        }
        if (!kinded) r.fail(n, "light " + l.name + " needs a kind: Distant or Point");
        if (l.kind == LightKind::Distant && l.direction == Vec3{0, 0, 0})
            r.fail(n, "light " + l.name + " needs a Direction that is not zero");
        for (const Light& other : w.lights)
            if (other.name == l.name) r.fail(n, "light " + l.name + " is defined twice");
        w.lights.push_back(l);
    } else if (n.kind == SceneNode::Kind::Brace && k == "Camera") {
        BlockReader r(file_, n);
        CameraSpec cam;
        cam.name = r.name();
        for (const SceneNode& c : n.children) {
            if (ReadPose(r, c, cam.base)) continue;
            if (c.keyword == "Projection") {
                r.once(c);
                if (c.kind != SceneNode::Kind::Line || c.args.size() != 1 ||
                    (c.args[0].text != "perspective" && c.args[0].text != "orthographic"))
                    r.fail(c, "Projection takes perspective or orthographic");
                cam.projection = c.args[0].text == "orthographic" ? Projection::Orthographic
                                                                  : Projection::Perspective;
                continue;
            }
            if (c.kind == SceneNode::Kind::Brace && c.keyword == "Key") {
                if (c.args.size() != 1 || !parseInteger(c.args[0]))
                    r.fail(c, "{ Key takes the frame it holds");
                const int frame = static_cast<int>(*parseInteger(c.args[0]));
                if (!cam.keys.empty() && cam.keys.back().first >= frame)
                    r.fail(c, "keys must come in increasing frame order");
                BlockReader kr(file_, c);
                CameraPose pose;
                for (const SceneNode& kc : c.children)
                    if (!ReadPose(kr, kc, pose))
                        kr.fail(kc, "unknown keyword '" + kc.keyword + "' in a camera key");
                if ((pose.lookAt && cam.base.rotation) || (pose.rotation && cam.base.lookAt))
                    r.fail(c, "a camera takes LookAt or Rotation, not both");
                cam.keys.emplace_back(frame, pose);
                continue;
            }
            r.fail(c, "unknown keyword '" + c.keyword + "' in a camera");
        }
        for (const CameraSpec& other : result_.cameras)
            if (other.name == cam.name) r.fail(n, "camera " + cam.name + " is defined twice");
        result_.cameras.push_back(cam);
    } else {
        return false;
    }
    return true;
}

SceneWorld WorldReader::finish() {
    World& w = result_.world;
    for (std::size_t i = 0; i < w.objects.size(); ++i) {
        const auto& [name, surfaceLine] = objectSurfaces_[i];
        std::size_t index = w.surfaces.size();
        for (std::size_t s = 0; s < w.surfaces.size(); ++s)
            if (w.surfaces[s].name == name) index = s;
        if (index == w.surfaces.size())
            throw SceneError(file_, surfaceLine, "",
                             "object " + w.objects[i].name + ": no surface named " + name);
        w.objects[i].surface = index;
    }
    for (const SceneNode& line : renderCameraLines_) {
        const SceneNode* n = &line;
        const std::string& name = n->args[0].text;
        int frame = w.settings.firstFrame;
        if (n->args.size() == 2) {
            auto f = parseInteger(n->args[1]);
            if (!f)
                throw SceneError(file_, n->line, "",
                                 "RenderCamera: '" + n->args[1].text + "' is not a frame");
            frame = static_cast<int>(*f);
        }
        bool known = false;
        for (const CameraSpec& c : result_.cameras) known = known || c.name == name;
        if (!known) throw SceneError(file_, n->line, "", "RenderCamera: no camera named " + name);
        if (!result_.renderCameras.empty() && result_.renderCameras.back().first >= frame)
            throw SceneError(file_, n->line, "",
                             "RenderCamera lines must come in increasing frame order");
        result_.renderCameras.emplace_back(n->args.size() == 2 ? frame : w.settings.firstFrame,
                                           name);
    }
    return result_;
}

void WriteWorld(const SceneWorld& sw, SceneWriter& w) {
    const World& world = sw.world;
    const RenderSettings& s = world.settings;
    const RenderSettings d;
    w.line("FrameSize", {Num(s.width), Num(s.height)});
    if (s.firstFrame != d.firstFrame || s.lastFrame != d.lastFrame)
        w.line("FrameRange", {Num(s.firstFrame), Num(s.lastFrame)});
    if (s.framesPerSecond != d.framesPerSecond) w.line("FramesPerSecond", {Num(s.framesPerSecond)});
    if (s.background != d.background)
        w.line("Background", {Num(s.background[0]), Num(s.background[1]), Num(s.background[2])});
    if (s.backgroundAlpha != d.backgroundAlpha) w.line("BackgroundAlpha", {Num(s.backgroundAlpha)});
    if (s.aaSamples != d.aaSamples) w.line("Antialiasing", {Num(s.aaSamples)});
    if (world.ambient != World{}.ambient)
        w.line("Ambient", {Num(world.ambient[0]), Num(world.ambient[1]), Num(world.ambient[2])});
    for (const CameraSpec& c : sw.cameras) {
        w.beginBrace("Camera", {Word(c.name)});
        if (c.projection == Projection::Orthographic) w.line("Projection", {Word("orthographic")});
        WritePose(w, c.base);
        for (const auto& [frame, pose] : c.keys) {
            w.beginBrace("Key", {Num(frame)});
            WritePose(w, pose);
            w.endBrace();
        }
        w.endBrace();
    }
    for (const auto& [frame, name] : sw.renderCameras) {
        if (frame == s.firstFrame)
            w.line("RenderCamera", {Word(name)});
        else
            w.line("RenderCamera", {Word(name), Num(frame)});
    }
    for (const Surface& surface : world.surfaces) {
        w.beginBrace("Surface", {Word(surface.name)});
        WriteFields(w, surface, std::begin(kSurfaceFields), std::end(kSurfaceFields));
        w.endBrace();
    }
    for (const Object& o : world.objects) {
        w.beginBrace("Object", {Word(o.name)});
        for (const auto& [word, kind] : kShapes)
            if (kind == o.kind) w.line(word);
        WriteFields(w, o, std::begin(kObjectFields), std::end(kObjectFields));
        w.line("Surface", {Word(world.surfaces[o.surface].name)});
        w.endBrace();
    }
    for (const Light& l : world.lights) {
        w.beginBrace("Light", {Word(l.name)});
        for (const auto& [word, kind] : kLightKinds)
            if (kind == l.kind) w.line(word);
        WriteFields(w, l, std::begin(kLightFields), std::end(kLightFields));
        if (!l.shadows) w.line("Shadows", {Word("off")});
        w.endBrace();
    }
}

void InstallCameras(Host& host, const SceneWorld& sw) {
    const double fps = sw.world.settings.framesPerSecond;
    host.cameras().clear();
    auto state = [](const CameraPose& base, const CameraPose* key) {
        CameraPose p = base;
        if (key != nullptr) {
            if (key->position) p.position = key->position;
            if (key->lookAt) p.lookAt = key->lookAt, p.rotation.reset();
            if (key->rotation) p.rotation = key->rotation, p.lookAt.reset();
            if (key->filmOffset) p.filmOffset = key->filmOffset;
            if (key->zoom) p.zoom = key->zoom;
            if (key->pixelAspect) p.pixelAspect = key->pixelAspect;
            if (key->orthoHeight) p.orthoHeight = key->orthoHeight;
        }
        CameraState s;
        PoseAxes(p, s);
        s.position = p.position.value_or(Vec3{0, 0, 0});
        s.filmOffset = p.filmOffset.value_or(Vec3{0, 0, 0});
        s.zoom = p.zoom.value_or(s.zoom);
        s.pixelAspect = p.pixelAspect.value_or(s.pixelAspect);
        s.orthoHeight = p.orthoHeight.value_or(s.orthoHeight);
        return s;
    };
    std::vector<CameraSpec> specs = sw.cameras;
    if (specs.empty()) specs.push_back(CameraSpec{"Camera", {}, {}, Projection::Perspective});
    for (const CameraSpec& spec : specs) {
        HostCamera& c = host.addCamera(spec.name);
        c.projection = spec.projection;
        c.flags = spec.projection == Projection::Perspective ? 0u : uint32_t{kCameraOwnRays};
        c.state = state(spec.base, nullptr);
        if (spec.keys.empty()) continue;
        // The camera's own lines are its pose at the first frame, unless a key is there.
        std::vector<std::pair<int, CameraState>> keys;
        const int first = sw.world.settings.firstFrame;
        bool keyed = false;
        for (const auto& [frame, pose] : spec.keys) keyed = keyed || frame == first;
        if (!keyed) keys.emplace_back(first, c.state);
        for (const auto& [frame, pose] : spec.keys)
            keys.emplace_back(frame, state(spec.base, &pose));
        std::stable_sort(keys.begin(), keys.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [frame, st] : keys) c.keys.emplace_back(frame / fps, st);
    }
    host.renderCameraSwitches.clear();
    for (const auto& [frame, name] : sw.renderCameras)
        for (std::size_t i = 0; i < specs.size(); ++i)
            if (specs[i].name == name) host.renderCameraSwitches.emplace_back(frame / fps, i);
    HostSceneInfo& info = host.sceneInfo();
    info.frameStart = sw.world.settings.firstFrame;
    info.frameEnd = sw.world.settings.lastFrame;
    info.framesPerSecond = fps;
    info.aaSamples = sw.world.settings.aaSamples;
    info.numObjects = static_cast<int32_t>(sw.world.objects.size());
    info.numLights = static_cast<int32_t>(sw.world.lights.size());
    host.setFrameSize(sw.world.settings.width, sw.world.settings.height);
}

}  // namespace pexil::host
