// The IM module: its command vocabulary, the settings it was sent, its
// register space and calibration store, and its readings.  The readings are a
// plain resistor until a device-under-test model takes their place.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "sim/model.h"

namespace sim {

class ImModel final : public Model {
public:
    static constexpr int kCalFreqCount = 8;    // frequency markers per calibration table
    static constexpr int kCalGainCount = 4;    // gain markers per calibration table
    static constexpr double kSampleClockHz = 50.0e6;   // sample rates are this divided by an integer

    ImModel();
    Outcome handle(const Command& command, std::string& reply) override;

    std::optional<std::string> setting(std::string_view header) const;
    void setReadings(const std::array<double, 6>& values) { readings_ = values; }
    void clearReadings() { readings_.reset(); }
    void setResistance(double ohms) { ohms_ = ohms; }
    uint8_t registerByte(uint16_t address) const { return registers_[address]; }
    void setRegisterByte(uint16_t address, uint8_t value) { registers_[address] = value; }

private:
    std::string keptOrInitial(std::string_view header) const;
    double number(std::string_view header, int word = 0) const;
    std::optional<std::string> answer(const Command& command);

    std::map<std::string, std::string, std::less<>> settings_;
    std::array<uint8_t, 0x10000> registers_{};
    std::map<std::array<int, 4>, std::string> calibration_;
    std::map<std::array<int, 4>, std::string> savedCalibration_;
    std::optional<std::array<double, 6>> readings_;
    double ohms_ = 100.0;
};

}  // namespace sim
