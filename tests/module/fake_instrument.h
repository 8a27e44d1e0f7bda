// A scripted instrument on a loopback TCP port for tests of command layers.
// It speaks the stream framing: every line ends in CR; a command is answered
// "OK\r\n", a query "OK\r\n<reply>\r\nOK\r\n".  It answers only the lines the
// test expects, in order; anything else is recorded as unexpected and refused
// with a line without "OK".
#pragma once

#include "line_server.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

class FakeInstrument {
public:
    enum class Answer { Ack, Reply, Refuse };

    FakeInstrument(const std::string& prefix, int port)
        : server_(prefix, port, false, [this](const std::string& line) { return answer(line); })
    {
    }

    const std::string& address() const { return server_.address(); }

    FakeInstrument(const FakeInstrument&) = delete;
    FakeInstrument& operator=(const FakeInstrument&) = delete;

    // The next line must be command; it is answered as given.
    void expect(const std::string& command, Answer answer = Answer::Ack, const std::string& reply = {})
    {
        std::lock_guard<std::mutex> lock(mutex_);
        script_.push_back({command, answer, reply});
    }
    void expectQuery(const std::string& command, const std::string& reply)
    {
        expect(command, Answer::Reply, reply);
    }
    // The command is refused times times in a row (each try of the sender).
    void expectRefused(const std::string& command, int times)
    {
        for (int i = 0; i < times; ++i)
            expect(command, Answer::Refuse);
    }

    std::vector<std::string> received()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }
    std::vector<std::string> unexpected()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return unexpected_;
    }
    std::size_t pending()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return script_.size();
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        script_.clear();
        received_.clear();
        unexpected_.clear();
    }

private:
    struct Step {
        std::string command;
        Answer answer;
        std::string reply;
    };

    std::string answer(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.push_back(line);
        if (script_.empty() || script_.front().command != line) {
            unexpected_.push_back(line);
            return "ERR\r\n";
        }
        const Step step = script_.front();
        script_.pop_front();
        switch (step.answer) {
        case Answer::Ack: return "OK\r\n";
        case Answer::Reply: return "OK\r\n" + step.reply + "\r\nOK\r\n";
        case Answer::Refuse: break;
        }
        return "ERR\r\n";
    }

    std::mutex mutex_;
    std::deque<Step> script_;
    std::vector<std::string> received_;
    std::vector<std::string> unexpected_;
    // Last, so that its thread stops before the script it answers from goes.
    LineServer server_;
};
