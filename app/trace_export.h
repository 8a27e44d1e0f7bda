// Traces written for other tools: one CSV of every point of every trace with
// a header block of "#" lines, and a three-column file (frequency, Z', Z'')
// per trace of the kind impedance fitting tools read.  Numbers are written
// without the locale, in the shortest form that reads back to the same value.
#pragma once

#include "displays/traces.h"

#include <string>
#include <utility>
#include <vector>

struct TraceExportHeader {
    std::string identity; // the reply to "*IDN?"
    std::string serial;
    std::string moduleVersion;
    std::string dateTime; // local time, ISO 8601
    std::vector<std::pair<std::string, std::string>> settings; // name, value as shown
};

std::string trace_export_csv_text(const TraceExportHeader& header, const std::vector<Trace>& traces);
std::string trace_export_columns_text(const Trace& trace);
// The three-column file of trace k (from 1) beside csvPath: "<stem>-trace<k>.csv".
std::string trace_export_columns_path(const std::string& csvPath, int k);
// Writes the CSV and each trace's three-column file, each replacing its file
// whole; "" on success, else why, naming the file.
std::string trace_export_write(const std::string& csvPath, const TraceExportHeader& header,
    const std::vector<Trace>& traces);
// The local date and time now, ISO 8601 with seconds.
std::string trace_export_now();
