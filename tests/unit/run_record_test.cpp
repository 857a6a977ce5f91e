#include "registers/record_file.h"
#include "registers/register_map.h"
#include "registers/run_recorder.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

namespace kalvo {
namespace {

using namespace std::chrono;

// A local time in Berlin, where December is one hour ahead of UTC.
class BerlinTime : public ::testing::Test {
protected:
    BerlinTime() {
        const char* old = std::getenv("TZ");
        fOldZone = old != nullptr ? old : "";
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    ~BerlinTime() override {
        setenv("TZ", fOldZone.c_str(), 1);
        tzset();
    }
    static system_clock::time_point At(int hour, int minute, int second, int millis) {
        std::tm local{};
        local.tm_year = 2026 - 1900;
        local.tm_mon = 11;
        local.tm_mday = 10;
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_sec = second;
        local.tm_isdst = -1;
        return system_clock::from_time_t(std::mktime(&local)) + milliseconds(millis);
    }
    static std::string Contents(const std::filesystem::path& path) {
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::string fOldZone;
};

int QuantityCount() {
    int count = 0;
    for (const RegisterTable& table : RegisterTables()) {
        count += static_cast<int>(table.Rows.size());
    }
    return count;
}

TEST_F(BerlinTime, RowsCarryTheTimeTheBlockAndOnlyItsQuantities) {
    const std::vector<std::string> header = RunRecord::Header();
    ASSERT_EQ(static_cast<int>(header.size()), 2 + QuantityCount());
    EXPECT_EQ(header[2], "0.0.1 Matricola del contatore");
    EXPECT_EQ(header[4], "Minuti (0-59)") << "a row without OBIS code";
    EXPECT_EQ(header[2 + static_cast<int>(Quantity::VoltageL1)],
              "32.7.0 Valore RMS della tensione di fase R [V]");
    EXPECT_EQ(header[2 + static_cast<int>(Quantity::ActiveEnergyImport)],
              "1.8.0 Totalizzatore energia attiva A+ [kWh]");

    ModbusRegisters image;
    image.Fill();
    image.Put(Quantity::ClockHour, 14);
    image.Put(Quantity::Profile1Channel1, 1.25);
    const RunRecord record(",");
    struct Case {
        RegisterBlock block;
        const char* letter;
    };
    for (const Case& c : {Case{RegisterBlock::A, "A"}, Case{RegisterBlock::B, "B"}}) {
        SCOPED_TRACE(c.letter);
        const bool a = c.block == RegisterBlock::A;
        const std::vector<std::string> row = record.Row(At(14, 5, 3, 120), c.block, image);
        ASSERT_EQ(row.size(), header.size());
        EXPECT_EQ(row[0], "2026-12-10T14:05:03.120+01:00");
        EXPECT_EQ(row[1], c.letter);
        // The clock's hour is in block A, P.01 channel 1 in block B.
        EXPECT_EQ(row[3], a ? "14" : "");
        ASSERT_EQ(header[59].substr(0, 8), "P.01(C1)");
        EXPECT_EQ(row[59], a ? "" : "1,25");
        EXPECT_EQ(row[2], a ? "Unavailable" : "") << "as the export writes it";
    }
}

TEST_F(BerlinTime, APartStartsEveryHourWithItsOwnHeader) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kalvo-record";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    {
        RecordFile file((folder / "run.csv").string(), RecordFile::Split::Hour);
        file.Write(At(10, 59, 59, 900), {"a"});
        file.Write(At(11, 0, 0, 100), {"b"});
        file.Write(At(11, 30, 0, 0), {"c"});
    }
    const std::string header = "Time,Block";
    const std::string first = Contents(folder / "run_20261210_105959.csv");
    const std::string second = Contents(folder / "run_20261210_110000.csv");
    EXPECT_EQ(first.substr(0, header.size()), header);
    EXPECT_TRUE(first.ends_with("\r\na\r\n"));
    EXPECT_EQ(second.substr(0, header.size()), header);
    EXPECT_TRUE(second.ends_with("\r\nb\r\nc\r\n"));
    std::filesystem::remove_all(folder);
}

// The folder of a recording removed during a Run: the next row stops the recording with a
// message instead of going into a file nobody can find.
TEST_F(BerlinTime, ARecordingWhoseFileVanishesStops) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kalvo-gone";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "run.csv").string();
    RunRecorder recorder;
    recorder.Start(path, RecordFile::Split::None, ".");
    ModbusRegisters image;
    EXPECT_EQ(recorder.Write(At(9, 0, 0, 0), RegisterBlock::A, image), "");
    std::filesystem::remove_all(folder);
    EXPECT_EQ(recorder.Write(At(9, 0, 1, 0), RegisterBlock::B, image),
              path + ": the file was removed or moved");
    EXPECT_FALSE(recorder.Recording());
}

TEST_F(BerlinTime, AFailedWriteStopsTheRecordingWithPathAndReason) {
    RunRecorder recorder;
    recorder.Start("/nonexistent-kalvo/run.csv", RecordFile::Split::None, ".");
    ModbusRegisters image;
    EXPECT_EQ(recorder.Write(At(9, 0, 0, 0), RegisterBlock::A, image),
              "/nonexistent-kalvo/run.csv: No such file or directory");
    EXPECT_FALSE(recorder.Recording());
    EXPECT_EQ(recorder.Write(At(9, 0, 1, 0), RegisterBlock::A, image), "")
        << "nothing more is tried";
}

} // namespace
} // namespace kalvo
