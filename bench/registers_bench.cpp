// Cost of rendering every row of the four register tables, as one display refresh does.
#include "registers/modbus_registers.h"
#include "registers/register_map.h"
#include "registers/value_text.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

void RenderAllRows(benchmark::State& state) {
    kalvo::ModbusRegisters image;
    for (int i = 0; i < kalvo::ModbusRegisters::kCount; ++i) {
        image[i] = static_cast<std::uint16_t>(0x4143 + 37 * i);
    }
    for (auto _ : state) {
        int index = 0;
        for (const kalvo::RegisterTable& table : kalvo::RegisterTables()) {
            for (const kalvo::RegisterDef& row : table.Rows) {
                const int count = std::stoi(std::string(row.Bytes)) / 2;
                benchmark::DoNotOptimize(image.RegistersToHex(count, index));
                benchmark::DoNotOptimize(image.RegistersToBigEndianHex(count, index));
                benchmark::DoNotOptimize(kalvo::RegisterValueText(image, row.Type, index, "."));
                index += count;
            }
        }
    }
}
BENCHMARK(RenderAllRows);

} // namespace
