#include "host/node_types.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

#include "host/network_eval.h"
#include "host/node_editor.h"
#include "host/scene_text.h"

namespace pexil::host {
namespace {

using Type = BuiltinNodeType;

Type::Input ColorIn(const char* name, double r, double g, double b) {
    return {name, kConnectionColor, {r, g, b}};
}
Type::Input ScalarIn(const char* name, double v) {
    return {name, kConnectionScalar, {v, 0.0, 0.0}};
}
Type::Output ColorOut(const char* name) {
    return {name, kConnectionColor};
}
Type::Output ScalarOut(const char* name) {
    return {name, kConnectionScalar};
}

PortValue Scalar(double v) {
    return {v, 0.0, 0.0};
}

// Scalar math on inputs A (and B), and colour math channel by channel on
// colour inputs A and B. `F` is a lambda without captures, so it can be made
// again inside a function that converts to BuiltinNodeType::Evaluate.
template <class F>
Type::Evaluate Unary(F) {
    static_assert(std::is_empty_v<F>);
    return [](const Node&, int, const PortValue* in) { return Scalar(F{}(in[0][0])); };
}
template <class F>
Type::Evaluate Binary(F) {
    static_assert(std::is_empty_v<F>);
    return [](const Node&, int, const PortValue* in) { return Scalar(F{}(in[0][0], in[1][0])); };
}
template <class F>
Type::Evaluate Channels(F) {
    static_assert(std::is_empty_v<F>);
    return [](const Node&, int, const PortValue* in) {
        const F f{};
        return PortValue{f(in[0][0], in[1][0]), f(in[0][1], in[1][1]), f(in[0][2], in[1][2])};
    };
}

// a at t = 0, b at t = 1, along the line through both beyond them. Of the two
// ways to write it, the one taken never adds infinities of opposite signs.
double Lerp(double a, double b, double t) {
    if ((a < 0) == (b < 0)) return a + (b - a) * t;
    return a * (1 - t) + b * t;
}

// A negative base has no real power for a non-integer exponent, and zero to a
// negative power is a division by zero: both give 0.
double Power(double a, double b) {
    if (a < 0 && std::trunc(b) != b) return 0.0;
    if (a == 0 && b < 0) return 0.0;
    return std::pow(a, b);
}

// The ramp through the node's keys (position, colour), linear between keys and
// held beyond the first and the last. Keys at one position make a step: from
// there on the later key's colour holds.
PortValue Gradient(const Node& node, int, const PortValue* in) {
    const double x = in[0][0];
    const double* before = nullptr;
    for (const NodeSetting& s : node.settings) {
        if (s.name != "Key" || s.numbers.size() != 4) continue;
        const double* key = s.numbers.data();
        if (before == nullptr ? x <= key[0] : x < key[0]) {
            if (before == nullptr) return {key[1], key[2], key[3]};
            // before[0] <= x < key[0], so 0 <= t < 1; halves when the span overflows.
            const double span = key[0] - before[0];
            const double t = std::isfinite(span)
                                 ? (x - before[0]) / span
                                 : (x * 0.5 - before[0] * 0.5) / (key[0] * 0.5 - before[0] * 0.5);
            return {Lerp(before[1], key[1], t), Lerp(before[2], key[2], t),
                    Lerp(before[3], key[3], t)};
        }
        before = key;
    }
    if (before == nullptr) return {0.0, 0.0, 0.0};
    return {before[1], before[2], before[3]};
}

std::string CheckKeyOrder(const std::vector<double>& key, const std::vector<double>* before) {
    if (before == nullptr || key[0] >= (*before)[0]) return {};
    return "gradient keys go in order of position: " + formatNumber(key[0]) + " comes after " +
           formatNumber((*before)[0]);
}

// Steps levels spread evenly from 0 to 1 (0, 1/(n-1), ..., 1), each taking an
// equal share 1/n of [0, 1]: a channel v becomes min(floor(v n), n - 1) / (n - 1),
// with v first held to [0, 1]. Steps counts whole levels (rounded down);
// fewer than 2 leave the colour as it is.
PortValue Posterize(const Node&, int, const PortValue* in) {
    const double n = std::floor(in[1][0]);
    if (!(n >= 2)) return in[0];
    PortValue c;
    for (int i = 0; i < 3; ++i) {
        const double v = in[0][i] > 0 ? std::min(in[0][i], 1.0) : 0.0;
        c[i] = std::min(std::floor(v * n), n - 1) / (n - 1);
    }
    return c;
}

// Each channel held between Low and High; when Low is above High, High wins.
PortValue Clamp(const Node&, int, const PortValue* in) {
    PortValue c;
    for (int i = 0; i < 3; ++i) c[i] = std::min(std::max(in[0][i], in[1][0]), in[2][0]);
    return c;
}

PortValue SplitColor(const Node&, int output, const PortValue* in) {
    if (output == 3) return ConvertValue(in[0], kConnectionColor, kConnectionScalar);
    return Scalar(in[0][output]);
}

PortValue Finite(PortValue v) {
    for (double& x : v) {
        if (std::isnan(x)) x = 0.0;
        if (std::isinf(x)) x = std::copysign(std::numeric_limits<double>::max(), x);
    }
    return v;
}

}  // namespace

const BuiltinNodeType::Setting* BuiltinNodeType::setting(std::string_view settingName) const {
    for (const Setting& s : settings)
        if (settingName == s.name) return &s;
    return nullptr;
}

const std::vector<BuiltinNodeType>& BuiltinNodeTypes() {
    static const std::vector<BuiltinNodeType> types = {
        {"Constant",
         {ColorIn("Value", 0, 0, 0)},
         {ColorOut("Color")},
         [](const Node&, int, const PortValue* in) { return in[0]; }},
        {"Scalar",
         {ScalarIn("Value", 0)},
         {ScalarOut("Value")},
         [](const Node&, int, const PortValue* in) { return Scalar(in[0][0]); }},

        // Scalar math.
        {"Add",
         {ScalarIn("A", 0), ScalarIn("B", 0)},
         {ScalarOut("Result")},
         Binary([](double a, double b) { return a + b; })},
        {"Subtract",
         {ScalarIn("A", 0), ScalarIn("B", 0)},
         {ScalarOut("Result")},
         Binary([](double a, double b) { return a - b; })},
        {"Multiply",
         {ScalarIn("A", 1), ScalarIn("B", 1)},
         {ScalarOut("Result")},
         Binary([](double a, double b) { return a * b; })},
        {"Divide",
         {ScalarIn("A", 1), ScalarIn("B", 1)},
         {ScalarOut("Result")},
         Binary([](double a, double b) { return b != 0 ? a / b : 0.0; })},
        {"Min",
         {ScalarIn("A", 0), ScalarIn("B", 0)},
         {ScalarOut("Result")},
         Binary([](double a, double b) { return std::min(a, b); })},
        {"Max",
         {ScalarIn("A", 0), ScalarIn("B", 0)},
         {ScalarOut("Result")},
         Binary([](double a, double b) { return std::max(a, b); })},
        {"Power",
         {ScalarIn("A", 1), ScalarIn("B", 1)},
         {ScalarOut("Result")},
         Binary([](double a, double b) { return Power(a, b); })},
        {"Abs", {ScalarIn("A", 0)}, {ScalarOut("Result")}, Unary([](double a) {
             return std::fabs(a);
         })},

        // Colour math.
        {"ColorAdd",
         {ColorIn("A", 0, 0, 0), ColorIn("B", 0, 0, 0)},
         {ColorOut("Color")},
         Channels([](double a, double b) { return a + b; })},
        {"ColorMultiply",
         {ColorIn("A", 1, 1, 1), ColorIn("B", 1, 1, 1)},
         {ColorOut("Color")},
         Channels([](double a, double b) { return a * b; })},
        {"ColorScale",
         {ColorIn("Color", 1, 1, 1), ScalarIn("Factor", 1)},
         {ColorOut("Color")},
         [](const Node&, int, const PortValue* in) {
             const double f = in[1][0];
             return PortValue{in[0][0] * f, in[0][1] * f, in[0][2] * f};
         }},
        // A at Factor 0, B at 1, and beyond both ends along the same line.
        {"Mix",
         {ColorIn("A", 0, 0, 0), ColorIn("B", 1, 1, 1), ScalarIn("Factor", 0.5)},
         {ColorOut("Color")},
         [](const Node&, int, const PortValue* in) {
             const double f = in[2][0];
             return PortValue{Lerp(in[0][0], in[1][0], f), Lerp(in[0][1], in[1][1], f),
                              Lerp(in[0][2], in[1][2], f)};
         }},

        // Colours from and to numbers.
        {"Gradient",
         {ScalarIn("Input", 0)},
         {ColorOut("Color")},
         Gradient,
         {{"Key", "<position> <red> <green> <blue>", 4, CheckKeyOrder}},
         {{"Key", {0, 0, 0, 0}}, {"Key", {1, 1, 1, 1}}}},
        {"Posterize",
         {ColorIn("Value", 0, 0, 0), ScalarIn("Steps", 4)},
         {ColorOut("Color")},
         Posterize},
        {"Invert",
         {ColorIn("Color", 0, 0, 0)},
         {ColorOut("Color")},
         [](const Node&, int, const PortValue* in) {
             return PortValue{1 - in[0][0], 1 - in[0][1], 1 - in[0][2]};
         }},
        {"Clamp",
         {ColorIn("Value", 0, 0, 0), ScalarIn("Low", 0), ScalarIn("High", 1)},
         {ColorOut("Color")},
         Clamp},
        {"MakeColor",
         {ScalarIn("R", 0), ScalarIn("G", 0), ScalarIn("B", 0)},
         {ColorOut("Color")},
         [](const Node&, int, const PortValue* in) {
             return PortValue{in[0][0], in[1][0], in[2][0]};
         }},
        {"SplitColor",
         {ColorIn("Color", 0, 0, 0)},
         {ScalarOut("R"), ScalarOut("G"), ScalarOut("B"), ScalarOut("Luminance")},
         SplitColor},
    };
    return types;
}

const BuiltinNodeType* FindBuiltinNodeType(std::string_view name) {
    for (const BuiltinNodeType& t : BuiltinNodeTypes())
        if (name == t.name) return &t;
    return nullptr;
}

PortValue EvaluateBuiltin(const Node& node, int output, const PortValue* inputs) {
    return Finite(node.builtin->evaluate(node, output, inputs));
}

std::string CheckSetting(const Node& node, std::string_view name,
                         const std::vector<double>& numbers, const std::vector<double>* before) {
    const BuiltinNodeType::Setting* s = node.builtin ? node.builtin->setting(name) : nullptr;
    if (s == nullptr)
        return "node type " + node.type + " has no setting '" + std::string(name) + "'";
    if (numbers.size() != s->count)
        return "setting '" + std::string(name) + "' takes " + std::to_string(s->count) +
               (s->count == 1 ? " number: " : " numbers: ") + s->numbers;
    return s->check != nullptr ? s->check(numbers, before) : std::string();
}

}  // namespace pexil::host
