#include "app/trace_export.h"

#include "platform/safe_file.h"

#include <charconv>
#include <cmath>
#include <ctime>

namespace {

// Shortest text that reads back to the same double; "nan", "inf", "-inf" for
// the values a reading may carry when the module overloads.
void put_number(std::string& out, double v)
{
    if (std::isnan(v)) {
        out += "nan";
        return;
    }
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, ec == std::errc{} ? end : buf);
}

// A header value on one "#" line: line breaks would start data rows.
std::string one_line(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

} // namespace

std::string trace_export_csv_text(const TraceExportHeader& header, const std::vector<Trace>& traces)
{
    std::string out = "# imbench trace export\n";
    out += "# instrument: " + one_line(header.identity) + "\n";
    out += "# serial: " + one_line(header.serial) + "\n";
    out += "# module version: " + one_line(header.moduleVersion) + "\n";
    out += "# date: " + one_line(header.dateTime) + "\n";
    for (const auto& [name, value] : header.settings)
        out += "# setting: " + one_line(name) + " = " + one_line(value) + "\n";
    for (std::size_t k = 0; k < traces.size(); ++k) {
        out += "# trace " + std::to_string(k + 1) + ": DC level ";
        put_number(out, traces[k].dcLevel);
        out += " " + one_line(traces[k].unit) + ", AC ";
        put_number(out, traces[k].acPercent);
        out += " %, " + std::to_string(traces[k].points.size()) + " points\n";
    }
    out += "trace,dc_level,frequency_hz,z_real_ohm,z_imag_ohm,z_abs_ohm,z_phase_deg,v_abs,v_phase_deg,i_abs,i_phase_deg\n";
    for (std::size_t k = 0; k < traces.size(); ++k) {
        for (const TracePoint& p : traces[k].points) {
            out += std::to_string(k + 1);
            for (double v : {traces[k].dcLevel, p.freq, p.zReal, p.zImag, p.zAmp, p.zPhase, p.voltAmp, p.voltPhase,
                     p.currAmp, p.currPhase}) {
                out += ',';
                put_number(out, v);
            }
            out += '\n';
        }
    }
    return out;
}

std::string trace_export_columns_text(const Trace& trace)
{
    std::string out;
    for (const TracePoint& p : trace.points) {
        put_number(out, p.freq);
        out += ',';
        put_number(out, p.zReal);
        out += ',';
        put_number(out, p.zImag);
        out += '\n';
    }
    return out;
}

std::string trace_export_columns_path(const std::string& csvPath, int k)
{
    const std::size_t slash = csvPath.rfind('/');
    const std::size_t dot = csvPath.rfind('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = hasExt ? csvPath.substr(0, dot) : csvPath;
    return stem + "-trace" + std::to_string(k) + ".csv";
}

std::string trace_export_write(const std::string& csvPath, const TraceExportHeader& header,
    const std::vector<Trace>& traces)
{
    auto save = [](const std::string& path, const std::string& text) -> std::string {
        const safe_file::Result r = safe_file::save(path, text);
        return r.ok() ? std::string() : path + ": " + safe_file::describe(r);
    };
    if (std::string why = save(csvPath, trace_export_csv_text(header, traces)); !why.empty())
        return why;
    for (std::size_t k = 0; k < traces.size(); ++k) {
        const std::string path = trace_export_columns_path(csvPath, static_cast<int>(k) + 1);
        if (std::string why = save(path, trace_export_columns_text(traces[k])); !why.empty())
            return why;
    }
    return {};
}

std::string trace_export_now()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}
