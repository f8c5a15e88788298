// Bytes as a scene file: the parser, the world reader, the check and a whole load through the
// real module. Bad input only ever throws SceneError (anything else escaping is a crash); a
// failed load leaves the scene as it was; the filters of a scene that loads filter a pixel from
// its cameras; and the scene saves, and what it saved loads back and saves to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "host/pixel.h"
#include "host/scene.h"

using namespace pexil::host;
using pexil::fuzz::Fatal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // The parser and the world reader on their own.
    try {
        const std::vector<SceneNode> top = parseSceneText(text, "fuzz.scene", {"Plugin"});
        WorldReader reader("fuzz.scene");
        for (const SceneNode& n : top) {
            try {
                reader.read(n);
            } catch (const SceneError&) {
            }
        }
        reader.finish();
    } catch (const SceneError&) {
    }

    Host host;
    host.config.trace = false;
    {
        Scene scene(host, pexil::fuzz::Module());
        scene.check(text, "fuzz.scene");  // collects errors; throws nothing
    }
    Scene scene(host, pexil::fuzz::Module());
    const std::string empty = scene.save();
    try {
        scene.loadText(text, "fuzz.scene");
    } catch (const SceneError&) {
        if (!scene.filters().empty() || scene.save() != empty)
            Fatal("a failed load changed the scene");
        pexil::fuzz::ExpectNoMisuse(host);
        return 0;
    }
    // Every filter of the scene filters a hit and a miss at the first frame, as a render would.
    const RenderSettings& settings = scene.settings();
    const double time = settings.firstFrame / settings.framesPerSecond;
    for (const FilterSlot& f : scene.filters()) f.records->rend.init(f.instance, 0);
    for (const FilterSlot& f : scene.filters())
        f.records->rend.newTime(f.instance, settings.firstFrame, time);
    ScriptedPixel pixel;
    pixel.keepRays = false;
    pixel.rgba = {0.5f, 0.25f, 0.125f, 1.0f};
    pixel.shading.color[0] = pixel.shading.diffuse = pixel.shading.transparency = 0.5;
    for (const FilterSlot& f : scene.filters()) {
        pixel.distance = 1.0;
        EvaluatePixel(host, f.records->filter, f.instance, 0, 0, pixel);
        pixel.distance = -1.0;
        EvaluatePixel(host, f.records->filter, f.instance, settings.width - 1, settings.height - 1,
                      pixel);
    }
    for (const FilterSlot& f : scene.filters()) f.records->rend.cleanup(f.instance);
    pexil::fuzz::ExpectNoMisuse(host);

    const std::string saved = scene.save();
    Scene again(host, pexil::fuzz::Module());
    try {
        again.loadText(saved, "saved.scene");
    } catch (const SceneError& e) {
        Fatal(std::string("what the scene saved does not load: ") + e.what() + "\n" + saved);
    }
    if (again.save() != saved) Fatal("save, load, save gives other bytes:\n" + saved);
    pexil::fuzz::ExpectNoMisuse(host);
    return 0;
}
