#include "meter_model.h"

#include <gtest/gtest.h>

namespace kalvo::sim {
namespace {

// An instant at which a 40 s and a 45 s period both begin.
RegisterSource::Time Start() {
    return RegisterSource::Time(std::chrono::seconds(86'400'000));
}

TEST(MeterModel, EventsSwitchALoadAndDipAVoltage) {
    MeterModel::Settings quiet;
    MeterModel::Settings eventful;
    eventful.Events = true;
    struct Case {
        int second;
        float amps;
        float volts;
    };
    // Load on for 15 s of every 40; L2 dips for 1 s of every 45.
    const Case cases[] = {{0, 1.6f, 0.85f}, {5, 1.6f, 1.0f}, {20, 1.0f, 1.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.second);
        const auto at = Start() + std::chrono::seconds(c.second);
        const ModbusRegisters plain = MeterModel(quiet, at).Image(at);
        const ModbusRegisters events = MeterModel(eventful, at).Image(at);
        EXPECT_FLOAT_EQ(events.RegisterSingle(68) / plain.RegisterSingle(68), c.amps);
        EXPECT_FLOAT_EQ(events.RegisterSingle(100) / plain.RegisterSingle(100), c.volts);
        EXPECT_FLOAT_EQ(events.RegisterSingle(92), plain.RegisterSingle(92));
    }
}

} // namespace
} // namespace kalvo::sim
