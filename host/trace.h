// The host's record of every service call a module makes.
#pragma once

#include <string>
#include <vector>

namespace pexil::host {

struct TraceEntry {
    std::string service;            // "NodeEditorFuncs", or "lookup" for the global function
    int op = 0;                     // operation number, 0 for lookups and record reads
    std::string role;               // "create", "save", ...
    std::vector<std::string> args;  // the arguments that matter, as text

    // "NodeEditorFuncs 1 create(lumnet, Node pixelfilter)"; lookups read "lookup(Name) -> offered"
    std::string text() const;
};

class Trace {
  public:
    void add(TraceEntry e) { entries_.push_back(std::move(e)); }
    void clear() { entries_.clear(); }
    const std::vector<TraceEntry>& entries() const { return entries_; }
    // Texts of all entries, or of those of one service.
    std::vector<std::string> texts() const;
    std::vector<std::string> texts(const std::string& service) const;

  private:
    std::vector<TraceEntry> entries_;
};

}  // namespace pexil::host

namespace pexil::host {
// A pointer as the trace shows it: "null" or "0x..." in hexadecimal.
std::string PointerText(const void* p);
}  // namespace pexil::host
