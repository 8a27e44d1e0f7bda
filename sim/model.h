// What the instrument's parts share: a parsed command and the interface of
// one model (system queries, IM module, and later the load and supply).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sim {

struct Command {
    std::string_view text; // the whole line, blanks trimmed
    std::string header; // first word, upper case ("IM:OUTP:SINE:FREQ?")
    std::string_view args; // the rest, blanks trimmed
    bool query = false; // header ends in '?'
};

Command parseCommand(std::string_view line);

enum class Outcome {
    Unknown, // not this model's command
    Done, // executed; reply set for a query
    Invalid, // this model's command with arguments that do not fit (not executed)
    Refused, // understood, but the module would not carry it out; the host is told
};

class Model {
public:
    virtual ~Model() = default;
    // Runs one command; for a query the reply text goes to reply.
    virtual Outcome handle(const Command& command, std::string& reply) = 0;
};

// Locale-independent number text.
std::string formatFixed(double value, int decimals);
std::string formatGeneral(double value, int digits);
std::optional<double> parseDouble(std::string_view text);
std::optional<long long> parseInteger(std::string_view text); // optional sign, digits
std::optional<unsigned> parseHex(std::string_view text, std::size_t digits); // exactly that many digits
std::string_view trim(std::string_view text);
// Splits off the first blank-separated word of text.
std::string_view nextWord(std::string_view& text);

} // namespace sim
