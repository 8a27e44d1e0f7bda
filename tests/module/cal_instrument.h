// A scripted IM module on a loopback TCP port for calibration transfers: it
// answers the serial number, the marker counts and every calibration value
// query from a table, takes every command with "OK" unless the test refused
// it, and records each line exactly as it arrived (everything before the CR,
// line feeds included).
#pragma once

#include "line_server.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class CalInstrument {
public:
    CalInstrument(const std::string& prefix, int port)
        : server_(prefix, port, true, [this](const std::string& line) { return answer(line); })
    {
    }
    CalInstrument(const CalInstrument&) = delete;
    CalInstrument& operator=(const CalInstrument&) = delete;

    const std::string& address() const { return server_.address(); }

    // The value text of "IM:CAL:DATA? t i g f".
    static std::string value(int t, int i, int g, int f)
    {
        char text[64];
        std::snprintf(text, sizeof text, "%d.%d%d%d%03d", t + 1, i, g, f, 7 * t + 5 * i + 3 * g + f);
        return text;
    }

    void setCounts(int freqs, int gains)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        freqs_ = freqs;
        gains_ = gains;
    }
    void setSerialReply(const std::string& reply)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        serial_ = reply;
    }
    // Lines answered with a line without "OK" (commands) or no reply (queries),
    // compared after dropping line feeds.
    void refuse(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        refused_.insert(line);
    }
    std::vector<std::string> received()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.clear();
        refused_.clear();
    }

private:
    static std::string withoutLf(const std::string& s)
    {
        std::string out;
        for (char c : s)
            if (c != '\n')
                out += c;
        return out;
    }

    std::string reply(const std::string& raw)
    {
        const std::string line = withoutLf(raw);
        if (refused_.count(line))
            return "ERR\r\n";
        if (line.find('?') == std::string::npos)
            return "OK\r\n";
        std::string text;
        int t = 0, i = 0, g = 0, f = 0;
        char tail = 0;
        if (line == "SYST:SER?")
            text = serial_;
        else if (line == "IM:CAL:FREQ:COUNT?")
            text = std::to_string(freqs_);
        else if (line == "IM:CAL:GAIN:COUNT?")
            text = std::to_string(gains_);
        else if (std::sscanf(line.c_str(), "IM:CAL:DATA? %d %d %d %d%c", &t, &i, &g, &f, &tail) == 4)
            text = value(t, i, g, f);
        else
            return "ERR\r\n";
        return "OK\r\n" + text + "\r\nOK\r\n";
    }

    std::string answer(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.push_back(line);
        return reply(line);
    }

    std::mutex mutex_;
    int freqs_ = 0, gains_ = 0;
    std::string serial_ = "SERIAL:  ABC123";
    std::set<std::string> refused_;
    std::vector<std::string> received_;
    // Last, so that its thread stops before the tables it answers from go.
    LineServer server_;
};
