// The node editor's own format for a network inside a scene file:
//
//   { Node 1 Gradient
//     Input Input 0
//     Setting Key 0 0 0 0
//     Setting Key 1 1 0.5 0.25
//   }
//   { Node 2 pexil_PFOut
//   }
//   Connect 2 Shading 1 Input
//   Connect 1 Color 0 Output
//
// Each node is a block with its id and type, holding the stored values of its
// inputs, its settings (built-in types) or a Data block its server wrote
// (plug-in nodes); connections follow, from a node's output to an input (node
// 0 is the root, whose inputs the editor's owner defines).
#pragma once

#include <string>

#include "host/node_editor.h"
#include "host/scene_text.h"
#include "sdk/io.h"

namespace pexil::host {

class Host;

// Writes the network into the block the save state has open.
bool SaveNetwork(Host& host, const NodeEditor& editor, const HostSaveState* save);
// Replaces the editor's network with the one in the load state's open block.
// Nothing changes when the block holds an error; the error goes to the state.
bool LoadNetwork(Host& host, NodeEditor& editor, const HostLoadState* load);
// The network in the editor's format, as text.
// With a host, plug-in nodes also write their own data (in a Data block).
void WriteNetwork(Host* host, const NodeEditor& editor, SceneWriter& writer);
std::string NetworkText(const NodeEditor& editor);

}  // namespace pexil::host
