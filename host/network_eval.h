// Pull evaluation of a network: an input asks the output that feeds it.
#pragma once

#include <array>

#include "host/node_editor.h"

struct HostNodalAccess;

namespace pexil::host {

// Where a node's output value goes during evaluation; a NodeValue handle
// points at one of these.
struct ValueSlot {
    int type = 0;  // the connection type of the output asked for
    std::array<double, 3> value{};
    bool set = false;
};

// The value arriving at `input`: from what feeds it, converted to the input's
// type (a scalar feeding a colour becomes grey; a colour feeding a scalar
// gives its luminance), or the input's own stored value when unconnected.
std::array<double, 3> EvaluateInput(const NodeInput& input, HostNodalAccess* nodal);

// Asks the node of `output` for its value, as a pull from an input would.
ValueSlot EvaluateOutput(const NodeOutput& output, HostNodalAccess* nodal);

// Converts a value of one connection type to another.
std::array<double, 3> ConvertValue(const std::array<double, 3>& v, int fromType, int toType);

}  // namespace pexil::host
