#include "host/network_eval.h"

namespace pexil::host {

std::array<double, 3> ConvertValue(const std::array<double, 3>& v, int fromType, int toType) {
    if (fromType == toType) return v;
    if (toType == kConnectionColor) return {v[0], v[0], v[0]};
    // Rec. 709 luminance of a colour read as a scalar.
    return {0.2126 * v[0] + 0.7152 * v[1] + 0.0722 * v[2], 0.0, 0.0};
}

ValueSlot EvaluateOutput(const NodeOutput& out, HostNodalAccess* nodal) {
    const Node& n = *out.node;
    ValueSlot slot;
    slot.type = out.type;
    if (n.handler != nullptr) {
        // A plug-in node sets the value through "NodeOutputFuncs" 3 during the call.
        n.handler->evaluate(n.instance, nodal,
                            reinterpret_cast<NodeOutputID>(const_cast<NodeOutput*>(&out)),
                            reinterpret_cast<NodeValue>(&slot));
    } else if (n.builtin != nullptr && n.inputs.size() == n.builtin->inputs.size() &&
               n.inputs.size() <= kMaxBuiltinInputs) {
        std::array<PortValue, kMaxBuiltinInputs> in{};
        for (std::size_t i = 0; i < n.inputs.size(); ++i)
            in[i] = EvaluateInput(*n.inputs[i], nodal);
        slot.value = EvaluateBuiltin(n, out.number - 1, in.data());
        slot.set = true;
    }
    return slot;
}

std::array<double, 3> EvaluateInput(const NodeInput& input, HostNodalAccess* nodal) {
    if (input.source == nullptr) return input.value;
    return ConvertValue(EvaluateOutput(*input.source, nodal).value, input.source->type, input.type);
}

}  // namespace pexil::host
