#include "standins/trace_summary.h"

#include <algorithm>
#include <istream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace kvr::standin {

std::vector<const TracedObject*> TraceSummary::withTail(const std::string& tail) const
{
    std::vector<const TracedObject*> out;
    for (const auto& [id, o] : objects)
        if (o.tail == tail)
            out.push_back(&o);
    return out;
}

TraceSummary gf_summarizeTrace(std::istream& trace, bool keepPositions)
{
    TraceSummary s;
    for (std::string line; std::getline(trace, line);) {
        const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (!j.is_object() || !j.contains("k"))
            continue;
        const std::string kind = j.value("k", "");
        const double t = j.value("t", 0.0);
        s.lastTime = std::max(s.lastTime, t);
        if (kind == "refuse") {
            s.refusals.push_back({t, j.value("title", ""), j.value("tail", ""), j.value("exception", 0u)});
            continue;
        }
        if (kind == "event") {
            // Events to objects the trace never saw created make no object.
            if (const auto it = s.objects.find(j.value("id", 0u)); it != s.objects.end())
                it->second.events.push_back({t, j.value("name", "")});
            continue;
        }
        if (kind != "create" && kind != "pos" && kind != "remove")
            continue;
        TracedObject& o = s.objects[j.value("id", 0u)];
        o.id = j.value("id", 0u);
        if (kind == "create") {
            ++o.creations;
            o.title = j.value("title", "");
            o.tail = j.value("tail", "");
            o.createdAt = t;
            o.createdPose = {t,
                             j.value("lat", 0.0),
                             j.value("lon", 0.0),
                             j.value("alt_ft", 0.0),
                             0.0,
                             j.value("on_ground", false),
                             j.value("hdg", 0.0)};
        } else if (kind == "pos") {
            if (o.removedAt) {
                ++o.writesAfterRemoval;
                continue;
            }
            const TracedPosition p{t, j.value("lat", 0.0), j.value("lon", 0.0), j.value("alt_ft", 0.0),
                                   j.value("gnd_ft", 0.0), j.value("on_ground", false), j.value("hdg", 0.0)};
            if (!o.first)
                o.first = p;
            o.last = p;
            ++o.writes;
            if (keepPositions)
                o.positions.push_back(p);
        } else if (!o.removedAt) {
            o.removedAt = t;
            o.removedBy = j.value("by", "");
        }
    }
    return s;
}

std::string gf_summaryText(const TraceSummary& s)
{
    size_t moved = 0, removed = 0;
    for (const auto& [id, o] : s.objects) {
        moved += o.writes > 0 ? 1 : 0;
        removed += o.removedAt ? 1 : 0;
    }
    std::string out = fmt::format("objects created {}, moved {}, removed {}, refused {}\n", s.objects.size(), moved,
                                  removed, s.refusals.size());
    out += fmt::format("{:>8} {:<10} {:<36} {:>8} {:>8} {:>8} {:<6}\n", "object", "tail", "title", "created",
                       "writes", "removed", "by");
    for (const auto& [id, o] : s.objects)
        out += fmt::format("{:>8} {:<10} {:<36} {:>8.1f} {:>8} {:>8} {:<6}{}\n", id, o.tail, o.title, o.createdAt,
                           o.writes, o.removedAt ? fmt::format("{:.1f}", *o.removedAt) : "-", o.removedBy,
                           o.writesAfterRemoval ? fmt::format("  {} writes after removal", o.writesAfterRemoval) : "");
    for (const TracedRefusal& r : s.refusals)
        out += fmt::format("refused at {:.1f}: {} \"{}\" (exception {})\n", r.t, r.tail, r.title, r.exception);
    return out;
}

} // namespace kvr::standin
