// The node types the node editor itself provides, in one table: each type's
// name as scene files write it, its inputs with their stored values while
// unconnected, its outputs, its per-node settings and the function that
// computes its outputs from its inputs' values.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pexil::host {

struct Node;

// A value at a port: red, green, blue for a colour; a scalar in [0] (the rest 0).
using PortValue = std::array<double, 3>;

// A per-node setting: a named list of numbers that is not an input (a
// gradient's key). A node may hold several settings of one name; their order
// is kept. Scene files write one "Setting <name> <numbers...>" line for each.
struct NodeSetting {
    std::string name;
    std::vector<double> numbers;
    bool operator==(const NodeSetting&) const = default;
};

struct BuiltinNodeType {
    struct Input {
        const char* name;
        int type;         // HostConnectionType
        PortValue value;  // stored in a new node
    };
    struct Output {
        const char* name;
        int type;  // HostConnectionType
    };
    struct Setting {
        const char* name;
        const char* numbers;  // what the numbers of a line are, for error messages
        std::size_t count;    // numbers on each line
        // Why a line cannot follow `before`, the line of the same setting
        // before it (null for the first); empty when it can.
        std::string (*check)(const std::vector<double>& numbers, const std::vector<double>* before);
    };
    // Computes output `output` (its index among the type's outputs) from the
    // inputs' values, given in the order of `inputs` and already converted to
    // each input's type. Returns the value in the output's type.
    using Evaluate = PortValue (*)(const Node& node, int output, const PortValue* inputs);

    const char* name;
    std::vector<Input> inputs;
    std::vector<Output> outputs;
    Evaluate evaluate;
    std::vector<Setting> settings = {};
    std::vector<NodeSetting> defaultSettings = {};  // held by a new node

    const Setting* setting(std::string_view name) const;
};

// No built-in type has more inputs than this.
constexpr std::size_t kMaxBuiltinInputs = 3;

const std::vector<BuiltinNodeType>& BuiltinNodeTypes();
const BuiltinNodeType* FindBuiltinNodeType(std::string_view name);

// Output `output` of built-in node `node` from its inputs' values. Finite
// inputs never give NaN or an infinity: where the arithmetic would, NaN
// becomes 0 and an overflow the largest finite double of its sign.
PortValue EvaluateBuiltin(const Node& node, int output, const PortValue* inputs);

// Why `numbers` cannot be a "Setting <name>" line of `node`, given the line of
// the same setting before it (null for the first); empty when it can.
std::string CheckSetting(const Node& node, std::string_view name,
                         const std::vector<double>& numbers, const std::vector<double>* before);

}  // namespace pexil::host
