#include "host/trace.h"

namespace pexil::host {

std::string TraceEntry::text() const {
    std::string t = service;
    if (op != 0) t += " " + std::to_string(op);
    t += " " + role + "(";
    for (std::size_t i = 0; i < args.size(); ++i) t += (i ? ", " : "") + args[i];
    return t + ")";
}

std::vector<std::string> Trace::texts() const {
    std::vector<std::string> out;
    for (const TraceEntry& e : entries_) out.push_back(e.text());
    return out;
}

std::vector<std::string> Trace::texts(const std::string& service) const {
    std::vector<std::string> out;
    for (const TraceEntry& e : entries_)
        if (e.service == service) out.push_back(e.text());
    return out;
}

}  // namespace pexil::host

#include <cstdio>

namespace pexil::host {
std::string PointerText(const void* p) {
    if (p == nullptr) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}
}  // namespace pexil::host
