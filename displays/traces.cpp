#include "displays/traces.h"

namespace {

std::vector<Trace> g_traces;

} // namespace

void traces_begin(double dcLevel, double acPercent, const std::string& unit)
{
    g_traces.push_back(Trace{dcLevel, acPercent, unit, {}});
}

void traces_add(const TracePoint& point)
{
    if (g_traces.empty())
        g_traces.emplace_back();
    g_traces.back().points.push_back(point);
}

void traces_reset() { g_traces.clear(); }

const std::vector<Trace>& traces_all() { return g_traces; }
