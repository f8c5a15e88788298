// The editor's built-in node types: what each computes, gradients, posterize
// levels, saving and loading their values and settings, and settings errors.
#include "host/node_types.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"
#include "host/network_eval.h"
#include "host/network_io.h"
#include "host/node_editor.h"
#include "host/scene_states.h"

namespace pexil::host {
namespace {

constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kInf = std::numeric_limits<double>::infinity();

class NodeTypes : public ::testing::Test {
  protected:
    static std::unique_ptr<NodeEditor> MakeEditor() {
        return std::make_unique<NodeEditor>("editor1", "Test", "Test", HostNodeRootDesc{}, nullptr);
    }
    static void ExpectValue(const Node& n, const std::string& output, const PortValue& want) {
        ASSERT_NE(n.output(output), nullptr) << n.type << " has no output " << output;
        const ValueSlot slot = EvaluateOutput(*n.output(output), nullptr);
        EXPECT_TRUE(slot.set);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(slot.value[i], want[i], 1e-12 * std::max(1.0, std::fabs(want[i])))
                << n.type << "." << output << " channel " << i;
    }
    static std::string Save(const NodeEditor& e) {
        SceneWriter w;
        w.beginBrace("Nodes");
        WriteNetwork(nullptr, e, w);
        w.endBrace();
        return w.text();
    }
    // Loads a "{ Nodes" block into `e`: the error, or "" when it loaded.
    std::string Load(NodeEditor& e, const std::string& text) {
        const std::vector<SceneNode> file = parseSceneText(text, "t.scene", {});
        SceneLoadState state(host, file.at(0), "t.scene", {}, "test");
        const bool loaded = LoadNetwork(host, e, state.record());
        EXPECT_EQ(loaded, !state.error().has_value());
        return state.error() ? state.error()->what() : "";
    }

    Host host;
    std::unique_ptr<NodeEditor> editor = MakeEditor();
};

TEST_F(NodeTypes, EachTypeComputesItsOutputs) {
    struct Case {
        const char* type;
        std::vector<std::pair<const char*, PortValue>> inputs;  // the rest keep their defaults
        const char* output;
        PortValue want;  // a scalar in [0]
    };
    const Case cases[] = {
        {"Constant", {{"Value", {0.1, 0.2, 0.3}}}, "Color", {0.1, 0.2, 0.3}},
        {"Scalar", {{"Value", {0.7}}}, "Value", {0.7}},

        {"Add", {{"A", {2}}, {"B", {3}}}, "Result", {5}},
        {"Subtract", {{"A", {2}}, {"B", {3}}}, "Result", {-1}},
        {"Multiply", {{"A", {2}}, {"B", {-3}}}, "Result", {-6}},
        {"Multiply", {}, "Result", {1}},
        {"Divide", {{"A", {1}}, {"B", {4}}}, "Result", {0.25}},
        {"Divide", {{"A", {1}}, {"B", {0}}}, "Result", {0}},
        {"Divide", {{"A", {-1}}, {"B", {-0.0}}}, "Result", {0}},
        {"Divide", {{"A", {0}}, {"B", {0}}}, "Result", {0}},
        {"Min", {{"A", {2}}, {"B", {-3}}}, "Result", {-3}},
        {"Max", {{"A", {2}}, {"B", {-3}}}, "Result", {2}},
        {"Power", {{"A", {2}}, {"B", {10}}}, "Result", {1024}},
        {"Power", {{"A", {4}}, {"B", {0.5}}}, "Result", {2}},
        {"Power", {{"A", {-2}}, {"B", {3}}}, "Result", {-8}},
        {"Power", {{"A", {-8}}, {"B", {1.0 / 3}}}, "Result", {0}},
        {"Power", {{"A", {0}}, {"B", {-1}}}, "Result", {0}},
        {"Power", {{"A", {0}}, {"B", {0}}}, "Result", {1}},
        {"Abs", {{"A", {-2.5}}}, "Result", {2.5}},

        // Overflow stays finite; NaN only comes from inputs that are not finite, and becomes 0.
        {"Divide", {{"A", {1}}, {"B", {1e-310}}}, "Result", {kMax}},
        {"Multiply", {{"A", {1e300}}, {"B", {-1e300}}}, "Result", {-kMax}},
        {"Subtract", {{"A", {-1e308}}, {"B", {1e308}}}, "Result", {-kMax}},
        {"Power", {{"A", {-10}}, {"B", {401}}}, "Result", {-kMax}},
        {"Add", {{"A", {kInf}}, {"B", {-kInf}}}, "Result", {0}},

        {"ColorAdd", {{"A", {0.1, 0.2, 0.3}}, {"B", {1, 1, -1}}}, "Color", {1.1, 1.2, -0.7}},
        {"ColorMultiply", {{"A", {0.5, 2, -1}}, {"B", {0.5, 0.25, 3}}}, "Color", {0.25, 0.5, -3}},
        {"ColorScale", {{"Color", {0.5, 1, 2}}, {"Factor", {-2}}}, "Color", {-1, -2, -4}},
        {"Mix", {{"A", {0, 1, 2}}, {"B", {1, 3, 2}}, {"Factor", {0}}}, "Color", {0, 1, 2}},
        {"Mix", {{"A", {0, 1, 2}}, {"B", {1, 3, 2}}, {"Factor", {1}}}, "Color", {1, 3, 2}},
        {"Mix", {{"A", {0, 1, 2}}, {"B", {1, 3, 2}}, {"Factor", {0.25}}}, "Color", {0.25, 1.5, 2}},
        {"Mix", {{"A", {0, 1, 2}}, {"B", {1, 3, 2}}, {"Factor", {2}}}, "Color", {2, 5, 2}},
        {"Mix", {{"A", {0, 1, 2}}, {"B", {1, 3, 2}}, {"Factor", {-1}}}, "Color", {-1, -1, 2}},
        {"Mix", {}, "Color", {0.5, 0.5, 0.5}},
        {"Mix",
         {{"A", {1e308, -1e308, 1e308}}, {"B", {1e308, 1e308, -1e308}}, {"Factor", {10}}},
         "Color",
         {1e308, kMax, -kMax}},
        {"Mix",
         {{"A", {-1e308, 1e308, 0}}, {"B", {1e308, -1e308, 0}}, {"Factor", {0.5}}},
         "Color",
         {0, 0, 0}},

        {"Invert", {{"Color", {0, 0.25, 2}}}, "Color", {1, 0.75, -1}},
        {"Clamp", {{"Value", {-1, 0.5, 2}}}, "Color", {0, 0.5, 1}},
        {"Clamp",
         {{"Value", {0.1, 0.3, 0.5}}, {"Low", {0.2}}, {"High", {0.4}}},
         "Color",
         {0.2, 0.3, 0.4}},
        {"Clamp",
         {{"Value", {0.1, 0.5, 0.9}}, {"Low", {0.8}}, {"High", {0.2}}},
         "Color",
         {0.2, 0.2, 0.2}},
        {"MakeColor", {{"R", {0.1}}, {"G", {0.2}}, {"B", {0.3}}}, "Color", {0.1, 0.2, 0.3}},
        {"SplitColor", {{"Color", {0.1, 0.2, 0.3}}}, "R", {0.1}},
        {"SplitColor", {{"Color", {0.1, 0.2, 0.3}}}, "G", {0.2}},
        {"SplitColor", {{"Color", {0.1, 0.2, 0.3}}}, "B", {0.3}},
        {"SplitColor", {{"Color", {1, 0, 0}}}, "Luminance", {0.2126}},
        {"SplitColor", {{"Color", {0.1, 0.2, 0.3}}}, "Luminance", {0.18596}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        editor->clear();
        Node& n = editor->addBuiltin(c.type);
        for (const auto& [name, value] : c.inputs) {
            ASSERT_NE(n.input(name), nullptr) << c.type << " has no input " << name;
            n.input(name)->value = value;
        }
        ExpectValue(n, c.output, c.want);
    }
}

TEST_F(NodeTypes, ConnectedInputsTakeTheirSourcesConvertedToTheirType) {
    Node& colour = editor->addBuiltin("Constant");
    colour.input("Value")->value = {0.2, 0.4, 0.6};
    Node& split = editor->addBuiltin("SplitColor");
    Node& make = editor->addBuiltin("MakeColor");
    editor->connect(*colour.output("Color"), *split.input("Color"));
    editor->connect(*split.output("B"), *make.input("R"));
    editor->connect(*split.output("R"), *make.input("B"));
    make.input("G")->value = {0.5};
    ExpectValue(make, "Color", {0.6, 0.5, 0.2});

    Node& grey = editor->addBuiltin("Scalar");
    grey.input("Value")->value = {0.25};
    Node& scale = editor->addBuiltin("ColorScale");
    editor->connect(*grey.output("Value"), *scale.input("Color"));
    scale.input("Factor")->value = {2};
    ExpectValue(scale, "Color", {0.5, 0.5, 0.5});

    Node& add = editor->addBuiltin("Add");
    editor->connect(*colour.output("Color"), *add.input("A"));
    add.input("B")->value = {1};
    ExpectValue(add, "Result", {1.0 + 0.2126 * 0.2 + 0.7152 * 0.4 + 0.0722 * 0.6});
}

TEST_F(NodeTypes, GradientRampsThroughItsKeysAndHoldsBeyondThem) {
    using Keys = std::vector<NodeSetting>;
    const Keys steps = {{"Key", {0.2, 1, 0, 0}},
                        {"Key", {0.6, 0, 1, 0}},
                        {"Key", {0.6, 0, 0, 1}},  // a step at 0.6
                        {"Key", {1, 1, 1, 1}}};
    struct Case {
        Keys keys;  // empty: the type's default keys
        double input;
        PortValue want;
    };
    const Case cases[] = {
        {{}, -1, {0, 0, 0}},
        {{}, 0.25, {0.25, 0.25, 0.25}},
        {{}, 3, {1, 1, 1}},
        {steps, 0.1, {1, 0, 0}},
        {steps, 0.2, {1, 0, 0}},
        {steps, 0.4, {0.5, 0.5, 0}},
        {steps, 0.6, {0, 0, 1}},
        {steps, 0.8, {0.5, 0.5, 1}},
        {steps, 5, {1, 1, 1}},
        {{{"Key", {0.5, 0.1, 0.2, 0.3}}}, -7, {0.1, 0.2, 0.3}},
        {{{"Key", {0.5, 0.1, 0.2, 0.3}}}, 7, {0.1, 0.2, 0.3}},
        {{{"Key", {-1e308, 0, 0, 0}}, {"Key", {1e308, 1, 1, 1}}}, 0, {0.5, 0.5, 0.5}},
    };
    for (const Case& c : cases) {
        editor->clear();
        Node& n = editor->addBuiltin("Gradient");
        if (!c.keys.empty()) n.settings = c.keys;
        n.input("Input")->value = {c.input};
        SCOPED_TRACE("input " + std::to_string(c.input));
        ExpectValue(n, "Color", c.want);
    }
}

TEST_F(NodeTypes, PosterizeLevelsRunFromZeroToOne) {
    // Steps n gives the levels 0, 1/(n-1) .. 1, each over an equal share 1/n of [0, 1].
    struct Case {
        double steps;
        PortValue value, want;
    };
    const Case cases[] = {
        {4, {0, 0.24, 0.25}, {0, 0, 1.0 / 3}},  {4, {0.5, 0.74, 0.75}, {2.0 / 3, 2.0 / 3, 1}},
        {4, {1, 1.5, -0.5}, {1, 1, 0}},         {2, {0.49, 0.5, 1}, {0, 1, 1}},
        {3.9, {0.3, 0.5, 0.7}, {0, 0.5, 1}},  // whole levels: 3
        {1.99, {0.3, 1.7, -1}, {0.3, 1.7, -1}}, {-3, {0.3, 1.7, -1}, {0.3, 1.7, -1}},
    };
    for (const Case& c : cases) {
        editor->clear();
        Node& n = editor->addBuiltin("Posterize");
        n.input("Value")->value = c.value;
        n.input("Steps")->value = {c.steps};
        SCOPED_TRACE("steps " + std::to_string(c.steps));
        ExpectValue(n, "Color", c.want);
    }
    // The default is 4 steps.
    editor->clear();
    editor->addBuiltin("Posterize").input("Value")->value = {0.3, 0.6, 0.9};
    ExpectValue(*editor->nodes()[0], "Color", {1.0 / 3, 2.0 / 3, 1});
}

TEST_F(NodeTypes, EveryTypeRoundTripsItsPortsValuesAndSettings) {
    const auto& types = BuiltinNodeTypes();
    // Every type as made, then again with every input and setting changed.
    for (const BuiltinNodeType& t : types) editor->addBuiltin(t.name);
    double x = 0.5;
    for (const BuiltinNodeType& t : types) {
        Node& n = editor->addBuiltin(t.name);
        for (const auto& in : n.inputs) {
            in->value = in->type == kConnectionColor ? PortValue{x, x + 1, x + 2} : PortValue{x};
            x += 0.125;
        }
        if (!n.settings.empty())
            n.settings = {
                {"Key", {-1, 0.5, 0.25, 0}}, {"Key", {0.5, 1, 2, 3}}, {"Key", {0.5, 0, 0, 0}}};
    }
    const std::string saved = Save(*editor);
    auto loaded = MakeEditor();
    ASSERT_EQ(Load(*loaded, saved), "");
    EXPECT_EQ(Save(*loaded), saved);

    ASSERT_EQ(loaded->nodes().size(), 2 * types.size());
    for (std::size_t i = 0; i < loaded->nodes().size(); ++i) {
        const Node& was = *editor->nodes()[i];
        const Node& is = *loaded->nodes()[i];
        SCOPED_TRACE(is.type + " " + std::to_string(is.id));
        EXPECT_EQ(is.type, was.type);
        EXPECT_EQ(is.builtin, was.builtin);
        ASSERT_EQ(is.inputs.size(), was.inputs.size());
        for (std::size_t k = 0; k < is.inputs.size(); ++k) {
            EXPECT_EQ(is.inputs[k]->name, was.inputs[k]->name);
            EXPECT_EQ(is.inputs[k]->type, was.inputs[k]->type);
            EXPECT_EQ(is.inputs[k]->value, was.inputs[k]->value);
        }
        ASSERT_EQ(is.outputs.size(), was.outputs.size());
        for (std::size_t k = 0; k < is.outputs.size(); ++k) {
            EXPECT_EQ(is.outputs[k]->name, was.outputs[k]->name);
            EXPECT_EQ(is.outputs[k]->type, was.outputs[k]->type);
        }
        EXPECT_EQ(is.settings, was.settings);
    }
    // The first half holds what the table gives a new node.
    for (std::size_t i = 0; i < types.size(); ++i) {
        const BuiltinNodeType& t = types[i];
        const Node& n = *loaded->nodes()[i];
        SCOPED_TRACE(t.name);
        ASSERT_EQ(n.inputs.size(), t.inputs.size());
        for (std::size_t k = 0; k < n.inputs.size(); ++k) {
            EXPECT_EQ(n.inputs[k]->name, t.inputs[k].name);
            EXPECT_EQ(n.inputs[k]->type, t.inputs[k].type);
            EXPECT_EQ(n.inputs[k]->value, t.inputs[k].value);
        }
        ASSERT_EQ(n.outputs.size(), t.outputs.size());
        for (std::size_t k = 0; k < n.outputs.size(); ++k) {
            EXPECT_EQ(n.outputs[k]->name, t.outputs[k].name);
            EXPECT_EQ(n.outputs[k]->type, t.outputs[k].type);
        }
        EXPECT_EQ(n.settings, t.defaultSettings);
    }
}

TEST_F(NodeTypes, SettingLinesInAFileReplaceTheDefaults) {
    ASSERT_EQ(Load(*editor, "{ Nodes\n  { Node 1 Gradient\n  }\n}\n"), "");
    EXPECT_EQ(editor->nodes()[0]->settings, FindBuiltinNodeType("Gradient")->defaultSettings);
    ASSERT_EQ(Load(*editor, "{ Nodes\n  { Node 1 Gradient\n    Setting Key 0.5 1 0 0\n  }\n}\n"),
              "");
    EXPECT_EQ(editor->nodes()[0]->settings, (std::vector<NodeSetting>{{"Key", {0.5, 1, 0, 0}}}));
    EXPECT_EQ(
        Save(*editor),
        "{ Nodes\n  { Node 1 Gradient\n    Input Input 0\n    Setting Key 0.5 1 0 0\n  }\n}\n");
}

TEST_F(NodeTypes, BadSettingsAreErrorsWithTheirLineAndChangeNothing) {
    editor->addBuiltin("Scalar").input("Value")->value = {0.5};
    const std::string before = Save(*editor);
    struct Case {
        std::string node;  // the lines of the node block
        std::string error;
    };
    const Case cases[] = {
        {"{ Node 1 Constant\n Setting Key 0 0 0 0\n}",
         "t.scene:3: in { Nodes: node type Constant has no setting 'Key'"},
        {"{ Node 1 Gradient\n Setting Knot 0 0 0 0\n}",
         "t.scene:3: in { Nodes: node type Gradient has no setting 'Knot'"},
        {"{ Node 1 Gradient\n Setting Key 0 0 0\n}",
         "t.scene:3: in { Nodes: setting 'Key' takes 4 numbers: <position> <red> <green> <blue>"},
        {"{ Node 1 Gradient\n Setting Key 0 0 0 0 0\n}",
         "t.scene:3: in { Nodes: setting 'Key' takes 4 numbers: <position> <red> <green> <blue>"},
        {"{ Node 1 Gradient\n Setting\n}",
         "t.scene:3: in { Nodes: Setting needs a name and its numbers"},
        {"{ Node 1 Gradient\n Setting Key 0.5 0 0 0\n Setting Key 0.25 1 1 1\n}",
         "t.scene:4: in { Nodes: gradient keys go in order of position: 0.25 comes after 0.5"},
        {"{ Node 1 Gradient\n Setting Key inf 0 0 0\n}",
         "t.scene:3: in { Nodes: 'inf' is not a number"},
        {"{ Node 1 Gradient\n Setting Key 0 nan 0 0\n}",
         "t.scene:3: in { Nodes: 'nan' is not a number"},
        {"{ Node 1 Gradient\n Setting Key 0 0 1e999 0\n}",
         "t.scene:3: in { Nodes: '1e999' is not a number"},
        {"{ Node 1 Gradient\n Setting Key 0 0 0 x\n}",
         "t.scene:3: in { Nodes: 'x' is not a number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.node);
        EXPECT_EQ(Load(*editor, "{ Nodes\n" + c.node + "\n}\n"), c.error);
        EXPECT_EQ(Save(*editor), before);
    }
}

}  // namespace
}  // namespace pexil::host
