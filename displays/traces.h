// Every trace of the run, point by point: what the displays redraw when a
// quantity or circuit changes, and what an export writes.  A trace is one
// sweep; a REPEAT run adds one per DC step.  Unlike the data file's log,
// nothing here is limited to a number of points.
#pragma once

#include <string>
#include <vector>

struct TracePoint {
    double freq = 0.0;
    double zReal = 0.0, zImag = 0.0;
    double zAmp = 0.0, zPhase = 0.0; // ohms, degrees
    double voltAmp = 0.0, voltPhase = 0.0;
    double currAmp = 0.0, currPhase = 0.0;
};

struct Trace {
    double dcLevel = 0.0; // the DC level of the sweep, in unit
    double acPercent = 0.0; // the AC amplitude, percent of the DC level
    std::string unit; // "V" or "A"
    std::vector<TracePoint> points;
};

// A new trace begins (a sweep starts).
void traces_begin(double dcLevel, double acPercent, const std::string& unit);
// A point of the current trace; one before any trace began starts one at 0.
void traces_add(const TracePoint& point);
// All traces are gone (the displays were cleared).
void traces_reset();
const std::vector<Trace>& traces_all();
