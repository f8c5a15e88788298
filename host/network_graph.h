// A network as a Graphviz DOT graph, for looking at it outside the editor.
#pragma once

#include <string>

#include "host/node_editor.h"

namespace pexil::host {

// Nodes as records listing their inputs and outputs, connections as edges from
// output to input; the root is drawn last. Stored values of unconnected
// inputs appear in the labels.
std::string NetworkDot(const NodeEditor& editor);

}  // namespace pexil::host
