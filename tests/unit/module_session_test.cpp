#include "meter_model.h"
#include "session/module_session.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace kalvo {
namespace {

using Clock = ModuleSession::Clock;
using namespace std::chrono_literals;

// What an acquisition tells a session: a log line, a block read (from the model's image at
// that moment) or a read that failed.
struct Event {
    enum class Kind { Line, Read, Failed } What;
    RegisterBlock Block = RegisterBlock::A;
    std::string Text;
};

Event Read(RegisterBlock block) {
    return {Event::Kind::Read, block, {}};
}
Event Failed(RegisterBlock block, std::string why) {
    return {Event::Kind::Failed, block, std::move(why)};
}

struct Case {
    const char* Name;
    std::vector<Event> Events;
    std::array<bool, 2> Stale;
    std::size_t Rows;
    // Block A then block B, both read: a reading the checks judge.
    int Readings;
    std::vector<std::string> Failures;
    // The phase sequence's verdict once the run has ended.
    Verdict Sequence;
};

std::size_t RowsIn(const std::filesystem::path& path) {
    std::ifstream file(path);
    const auto lines =
        std::count(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>(), '\n');
    return lines > 0 ? static_cast<std::size_t>(lines - 1) : 0;
}

Verdict VerdictOf(const std::vector<CheckResult>& results, const std::string& id) {
    const auto found = std::find_if(results.begin(), results.end(),
                                    [&id](const CheckResult& r) { return r.Key() == id; });
    return found == results.end() ? Verdict::NotApplicable : found->Outcome;
}

// Whatever polls the module, the same events leave the same session: its image, the stale
// blocks, the recorded rows, the journal's failures and the verdicts. A failed read makes its
// block stale and breaks the pair it belongs to; a block read again is current.
TEST(ModuleSession, KeepsWhatARunsEventsLeave) {
    const Case cases[] = {
        {"a step",
         {Read(RegisterBlock::A), Read(RegisterBlock::B)},
         {false, false},
         2,
         1,
         {},
         Verdict::Passed},
        {"a run with failed reads",
         {Read(RegisterBlock::A), Read(RegisterBlock::B), Read(RegisterBlock::A),
          Failed(RegisterBlock::B, "Invalid reply"), Failed(RegisterBlock::A, "No reply"),
          Read(RegisterBlock::B), Read(RegisterBlock::A), Read(RegisterBlock::B)},
         {false, false},
         6,
         2,
         {"Block B: Invalid reply", "Block A: No reply"},
         Verdict::Passed},
        {"a run that ends with an error",
         {Read(RegisterBlock::A), Failed(RegisterBlock::B, "Connection refused")},
         {false, false},
         1,
         0,
         {"Block B: Connection refused"},
         Verdict::Waiting},
        {"a block that fails after it was read",
         {Read(RegisterBlock::A), Read(RegisterBlock::B), Read(RegisterBlock::A),
          Failed(RegisterBlock::B, "Invalid reply")},
         {false, true},
         3,
         1,
         {"Block B: Invalid reply"},
         Verdict::Passed},
    };
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kalvo_session_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Clock::time_point now = Clock::now();
        sim::MeterModel model({}, now);
        ModuleSession session({"127.0.0.1:1502", "feeder"});
        session.Begin(now, {CheckSettings{}, {Quantity::VoltageL1}, "Modbus/TCP", {}});
        const std::filesystem::path record = folder / (std::string(c.Name) + ".csv");
        session.StartRecording(record.string(), RecordFile::Split::None, ".");
        ModbusRegisters last;
        int readings = 0;
        for (const Event& event : c.Events) {
            now += 500ms;
            const ModbusRegisters image = model.Image(now);
            const BlockSpan& span = SpanOf(event.Block);
            if (event.What == Event::Kind::Read) {
                readings +=
                    session.BlockRead(event.Block, image.Range(span.First, span.Count), now).Reading
                        ? 1
                        : 0;
                last.Store(span.First, image.Range(span.First, span.Count));
            } else {
                session.LogLine(event.Text);
                session.ReadFailed(event.Block, now);
            }
        }
        session.End(now);
        EXPECT_EQ(session.StopRecording(), "");
        for (const BlockSpan& span : kRegisterBlocks) {
            EXPECT_EQ(session.Stale(span.Id), c.Stale[static_cast<std::size_t>(span.Id)]);
            for (int i = span.First; i < span.First + span.Count; ++i) {
                if (std::none_of(c.Events.begin(), c.Events.end(), [&](const Event& e) {
                        return e.What == Event::Kind::Read && e.Block == span.Id;
                    })) {
                    break;
                }
                ASSERT_EQ(session.Image()[i], last[i]) << i;
            }
        }
        EXPECT_EQ(RowsIn(record), c.Rows);
        EXPECT_EQ(readings, c.Readings);
        ReportData data;
        session.FillReport(data);
        std::vector<std::string> failures;
        for (const ReportData::Event& failure : data.Failures) {
            failures.push_back(failure.Text);
        }
        EXPECT_EQ(failures, c.Failures);
        EXPECT_EQ(data.Connection, "Modbus/TCP");
        ASSERT_EQ(data.Trends.size(), 1U);
        EXPECT_EQ(VerdictOf(session.Checks(), "phase_sequence"), c.Sequence);
        EXPECT_EQ(data.Checks.size(), session.Checks().size());
        EXPECT_EQ(session.SerialNumber(), "12345678");
    }
    std::filesystem::remove_all(folder);
}

// A run begins afresh: what the last one read, judged and failed is gone, and a run that is
// not judged has no verdicts.
TEST(ModuleSession, ARunBeginsAfresh) {
    const Clock::time_point now = Clock::now();
    sim::MeterModel model({}, now);
    const ModbusRegisters image = model.Image(now);
    ModuleSession session;
    session.Begin(now, {CheckSettings{}, {}, {}, {}});
    for (const BlockSpan& span : kRegisterBlocks) {
        session.BlockRead(span.Id, image.Range(span.First, span.Count), now);
    }
    session.ReadFailed(RegisterBlock::A, now);
    ASSERT_TRUE(session.Stale(RegisterBlock::A));
    session.Begin(now, {});
    EXPECT_FALSE(session.Stale(RegisterBlock::A));
    EXPECT_FALSE(session.AnyBlockRead());
    EXPECT_EQ(session.SerialNumber(), "");
    EXPECT_TRUE(session.Checks().empty());
    ReportData data;
    session.FillReport(data);
    EXPECT_TRUE(data.Failures.empty());
}

} // namespace
} // namespace kalvo
