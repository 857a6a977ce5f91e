#include "recording/record_file.h"
#include "recording/recorded_run.h"
#include "recording/run_recorder.h"
#include "registers/csv_text.h"
#include "registers/register_map.h"

#include <cmath>
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

// Held rows wait for a second's worth, a new part or the end; each then lands whole, in order.
TEST_F(BerlinTime, HeldRowsGoOutTogether) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kalvo-held";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::filesystem::path path = folder / "run.csv";
    {
        RecordFile file(path.string(), RecordFile::Split::None);
        file.SetHold(std::chrono::seconds(1));
        file.Write(At(9, 0, 0, 0), {"a"});
        file.Write(At(9, 0, 0, 500), {"b"});
        EXPECT_FALSE(Contents(path).ends_with("b\r\n")) << "held";
        file.Write(At(9, 0, 1, 0), {"c"});
        EXPECT_TRUE(Contents(path).ends_with("\r\na\r\nb\r\nc\r\n")) << "a second's worth";
        file.Write(At(9, 0, 1, 100), {"d"});
    }
    EXPECT_TRUE(Contents(path).ends_with("\r\nc\r\nd\r\n")) << "written at the end";
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

// A recording read back gives each quantity's readings with their times and values as the
// image had them; what the row's block did not read is no reading.
TEST_F(BerlinTime, ARecordingReadsBackAsItsReadings) {
    const RunRecord record(",");
    ModbusRegisters image;
    image.Fill();
    std::string text = CsvLine(RunRecord::Header());
    for (int i = 0; i < 3; ++i) {
        image.Put(Quantity::VoltageL1, 230.25 + i);
        image.Put(Quantity::ActiveEnergyImportInt32, 1234567 + i);
        text += CsvLine(record.Row(At(14, 5, 3 + i, 120), RegisterBlock::A, image));
        text += CsvLine(record.Row(At(14, 5, 3 + i, 620), RegisterBlock::B, image));
    }
    const std::vector<Quantity> wanted = {Quantity::VoltageL1, Quantity::ActiveEnergyImportInt32,
                                          Quantity::MeanPowerFactor};
    std::istringstream input(text);
    const RecordedRun run = RecordedRun::Read(input, wanted);
    EXPECT_EQ(run.Rows(), 6u);
    for (const Quantity quantity : wanted) {
        const RegisterBlock block = RegisterOf(quantity).Block;
        const std::vector<RecordedRun::Reading>& readings = run.Readings(quantity);
        ASSERT_EQ(readings.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            const double time =
                duration<double>(
                    At(14, 5, 3 + i, block == RegisterBlock::A ? 120 : 620).time_since_epoch())
                    .count();
            EXPECT_NEAR(readings[static_cast<std::size_t>(i)].Time, time, 1e-6);
        }
    }
    EXPECT_EQ(run.Readings(Quantity::VoltageL1)[2].Value, 232.25);
    EXPECT_EQ(run.Readings(Quantity::ActiveEnergyImportInt32)[1].Value, 1234568);
    EXPECT_TRUE(std::isnan(run.Readings(Quantity::MeanPowerFactor)[0].Value));
}

TEST(RecordedRun, TimesAndValuesAsWritten) {
    const double noon = 1'796'904'000; // 2026-12-10T12:00:00Z
    EXPECT_EQ(RecordedRun::TimeOf("2026-12-10T13:00:00.250+01:00"), noon + 0.25);
    EXPECT_EQ(RecordedRun::TimeOf("2026-12-10T06:30:00.000-05:30"), noon);
    for (const char* wrong : {"", "2026-12-10 13:00:00.250+01:00", "2026-13-10T13:00:00.250+01:00",
                              "2026-12-10T13:00:00.250", "2026-12-10T13:00:00.250+01:00x"}) {
        EXPECT_FALSE(RecordedRun::TimeOf(wrong)) << wrong;
    }
    EXPECT_EQ(RecordedRun::ValueOf("230,5"), 230.5);
    EXPECT_EQ(RecordedRun::ValueOf("1.5E-7"), 1.5e-7);
    for (const char* none : {"", "Unavailable", "NAN", "INF", "12 V"}) {
        EXPECT_FALSE(RecordedRun::ValueOf(none)) << none;
    }
}

TEST(RecordedRun, AFileOfAnotherKindIsRefusedWithItsLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "Line 1: the file is empty"},
        {"Register,Value\r\n", "Line 1: not a recording of a Run"},
        {"Time,Block\r\n2026-12-10T13:00:00.250+01:00,A\r\nyesterday,A\r\n",
         "Line 3: \"yesterday\" is not a time"},
    };
    for (const auto& [text, message] : cases) {
        std::istringstream input(text);
        try {
            RecordedRun::Read(input, {Quantity::VoltageL1});
            ADD_FAILURE() << text;
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()).rfind(message, 0), 0u) << error.what();
        }
    }
}

} // namespace
} // namespace kalvo
