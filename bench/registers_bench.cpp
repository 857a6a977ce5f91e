// Cost of rendering every row of the four register tables, as one display refresh does.
#include "registers/modbus_registers.h"
#include "registers/register_map.h"
#include "registers/value_text.h"

#include <benchmark/benchmark.h>

namespace {

void RenderAllRows(benchmark::State& state) {
    kalvo::ModbusRegisters image;
    for (int i = 0; i < kalvo::ModbusRegisters::kCount; ++i) {
        image[i] = static_cast<std::uint16_t>(0x4143 + 37 * i);
    }
    for (auto _ : state) {
        for (const kalvo::RegisterDef& row : kalvo::RegisterMapRows()) {
            benchmark::DoNotOptimize(image.RegistersToHex(row.Count, row.Index));
            benchmark::DoNotOptimize(image.RegistersToBigEndianHex(row.Count, row.Index));
            benchmark::DoNotOptimize(kalvo::RegisterValueText(image, row.Decoder, row.Index, "."));
        }
    }
}
BENCHMARK(RenderAllRows);

} // namespace
