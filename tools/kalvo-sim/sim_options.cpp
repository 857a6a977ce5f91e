#include "sim_options.h"

#include "registers/register_map.h"

#include <algorithm>
#include <charconv>
#include <functional>

namespace kalvo::sim {

namespace {

void ParseListen(const std::string& text, SimOptions& options) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        throw UsageError("--listen takes ADDRESS:PORT, not '" + text + "'");
    }
    options.Address = text.substr(0, colon);
    options.Port = static_cast<std::uint16_t>(
        UsageError::Number(text.substr(colon + 1), "--listen PORT", 0, 65535));
}

void ParseException(const std::string& text, FaultPlan& plan) {
    const std::size_t colon = text.find(':');
    plan.ExceptionCode =
        static_cast<std::uint8_t>(UsageError::Number(text.substr(0, colon), "--exception", 1, 255));
    if (colon == std::string::npos) {
        return;
    }
    const std::string block = text.substr(colon + 1);
    if (block != "a" && block != "b") {
        throw UsageError("--exception CODE:BLOCK takes block a or b, not '" + block + "'");
    }
    plan.ExceptionBlock = block == "a" ? FaultPlan::Block::A : FaultPlan::Block::B;
}

// "N[,N...]": distinct server addresses, up to the 32 devices a bus segment carries.
std::vector<std::uint8_t> ParseAddresses(const std::string& text) {
    std::vector<std::uint8_t> addresses;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const auto address = static_cast<std::uint8_t>(
            UsageError::Number(text.substr(start, comma - start), "--address", 1, 247));
        if (std::find(addresses.begin(), addresses.end(), address) != addresses.end() ||
            addresses.size() == 32) {
            throw UsageError("--address takes up to 32 different addresses, not '" + text + "'");
        }
        addresses.push_back(address);
        start = comma + 1;
    }
    return addresses;
}

double Decimal(const std::string& text, const std::string& option, double low, double high) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !(value >= low && value <= high)) {
        throw UsageError(option + " takes a number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'");
    }
    return value;
}

int PhaseOf(const std::string& text, const std::string& option) {
    if (text == "L1" || text == "L2" || text == "L3") {
        return text[1] - '1';
    }
    throw UsageError(option + " takes L1, L2 or L3, not '" + text + "'");
}

Quantity TotaliserOf(const std::string& obis) {
    for (int k = 0; k < 10; ++k) {
        const auto quantity = QuantityAfter(Quantity::ActiveEnergyImport, k);
        if (RegisterOf(quantity).OBIS == obis) {
            return quantity;
        }
    }
    throw UsageError("--encoding-error takes a totaliser's OBIS code, 1.8.0 to 10.8.0, not '" +
                     obis + "'");
}

// The faults of the meter's data; false when `option` is none of them.
bool ParseMeterFault(const std::string& option, const std::function<const std::string&()>& value,
                     MeterModel::Settings& meter) {
    if (option == "--clock-offset") {
        meter.ClockOffsetS = Decimal(value(), option, -1e9, 1e9);
    } else if (option == "--clock-drift") {
        meter.ClockDriftPpm = Decimal(value(), option, -1e6, 1e6);
    } else if (option == "--reverse-sequence") {
        meter.ReverseSequence = true;
    } else if (option == "--reverse-ct") {
        meter.ReverseCt = PhaseOf(value(), option);
    } else if (option == "--missing-phase") {
        meter.MissingPhase = PhaseOf(value(), option);
    } else if (option == "--frequency") {
        meter.FrequencyHz = Decimal(value(), option, 0, 1000);
    } else if (option == "--encoding-error") {
        meter.EncodingError = TotaliserOf(value());
    } else if (option == "--reactive-mismatch") {
        meter.ReactiveMismatch = true;
    } else if (option == "--energy-rate") {
        meter.EnergyRate = Decimal(value(), option, 0, 1000);
    } else if (option == "--frozen") {
        meter.Frozen = true;
    } else if (option == "--lp-mismatch") {
        meter.LpMismatch = true;
    } else if (option == "--power-mismatch") {
        meter.PowerMismatchPercent = Decimal(value(), option, -100, 1000);
    } else {
        return false;
    }
    return true;
}

} // namespace

SimOptions SimOptions::Parse(const std::vector<std::string>& arguments) {
    SimOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        auto value = [&]() -> const std::string& { return UsageError::Value(arguments, i); };
        FaultPlan& faults = options.Faults;
        if (option == "--help" || option == "-h") {
            options.Help = true;
        } else if (option == "--version") {
            options.Version = true;
        } else if (option == "--listen") {
            ParseListen(value(), options);
        } else if (option == "--rtu") {
            options.Rtu = true;
            if (i + 1 < arguments.size() && arguments[i + 1].rfind("--", 0) != 0) {
                options.RtuLink = arguments[++i];
            }
        } else if (option == "--address") {
            options.RtuAddresses = ParseAddresses(value());
        } else if (option == "--fixed") {
            options.FixedFile = value();
        } else if (option == "--serial") {
            options.Meter.Serial =
                static_cast<std::uint32_t>(UsageError::Number(value(), option, 0, 2139095038));
        } else if (option == "--load") {
            options.Meter.LoadAmps =
                static_cast<double>(UsageError::Number(value(), option, 0, 5000));
        } else if (option == "--profile-periods") {
            const std::string text = value();
            const std::size_t comma = text.find(',');
            options.Meter.Profile1Seconds =
                static_cast<int>(UsageError::Number(text.substr(0, comma), option, 1, 86400));
            options.Meter.Profile2Seconds = comma == std::string::npos
                                                ? options.Meter.Profile1Seconds
                                                : static_cast<int>(UsageError::Number(
                                                      text.substr(comma + 1), option, 1, 86400));
        } else if (option == "--events") {
            options.Meter.Events = true;
        } else if (option == "--exception") {
            ParseException(value(), faults);
        } else if (option == "--silent") {
            faults.Silent = true;
        } else if (option == "--delay") {
            faults.DelayMs = static_cast<int>(UsageError::Number(value(), option, 0, 600000));
        } else if (option == "--split") {
            faults.SplitPauseMs = static_cast<int>(UsageError::Number(value(), option, 0, 600000));
        } else if (option == "--drop-every") {
            faults.DropEvery = static_cast<int>(UsageError::Number(value(), option, 1, 1000000));
        } else if (option == "--wrong-function") {
            faults.WrongFunction = true;
        } else if (option == "--short-reply") {
            faults.ShortReply = true;
        } else if (option == "--wrong-tid") {
            faults.WrongTransactionID = true;
        } else if (option == "--garbage") {
            faults.Garbage = true;
        } else if (option == "--bad-crc") {
            faults.BadCrc = true;
        } else if (option == "--noise") {
            faults.NoiseBytes = static_cast<int>(UsageError::Number(value(), option, 1, 200));
        } else if (option == "--chatter") {
            faults.ChatterMs = static_cast<int>(UsageError::Number(value(), option, 20, 600000));
        } else if (option == "--hangup-after") {
            faults.HangUpAfter = static_cast<int>(UsageError::Number(value(), option, 0, 1000000));
        } else if (!ParseMeterFault(option, value, options.Meter)) {
            throw UsageError("unknown option '" + option + "'");
        }
    }
    return options;
}

std::string SimOptions::Usage() {
    return R"(Usage: kalvo-sim [--listen ADDRESS:PORT | --rtu [LINK] [--address N[,N...]]] [--fixed FILE]
                 [--serial N] [--load AMPS] [--profile-periods S1[,S2]] [--events]
                 [--exception CODE[:a|:b]] [--silent] [--wrong-function] [--short-reply]
                 [--delay MS] [--split MS] [--drop-every N] [--wrong-tid] [--garbage]
                 [--bad-crc] [--noise N] [--chatter MS] [--hangup-after N]
                 [--clock-offset SECONDS] [--clock-drift PPM] [--reverse-sequence]
                 [--reverse-ct L1|L2|L3] [--missing-phase L1|L2|L3] [--frequency HZ]
                 [--encoding-error OBIS] [--reactive-mismatch] [--energy-rate FACTOR]
                 [--frozen] [--lp-mismatch] [--power-mismatch PERCENT]
       kalvo-sim --help | --version

A simulated KALVO meter interface module: a Modbus/TCP server, or a Modbus RTU server on
a pseudo-terminal, whose holding registers 0 to 250 carry a three-phase meter in motion,
or a fixed image. Over TCP: function 3 only; other functions get exception 1, addresses
beyond the map exception 2; any unit identifier. SIGINT or SIGTERM stops it.

  --listen ADDRESS:PORT   where to listen (default 127.0.0.1:1502; port 0 picks one)
  --rtu [LINK]            serve Modbus RTU instead, on a new pseudo-terminal published
                          as the link LINK (default: kalvo-sim in the virtual serial
                          port folder, $XDG_RUNTIME_DIR/kalvo-serial); any line speed
  --address N[,N...]      the RTU server address (default 1); several: as many modules
                          on the one line, the k-th (from 0) with factory number
                          --serial plus k (a fixed image is the same at every address)
  --fixed FILE            serve FILE instead of the model: 245 hexadecimal words (the
                          registers as they travel on the wire), white-space separated

Model:
  --serial N              the meter's factory number (default 12345678)
  --load AMPS             mean phase current (default 10)
  --profile-periods S1[,S2]
                          periods of load profiles P.01 and P.02 in seconds
                          (default 900,3600)
  --events                now and then switch a load, dip a voltage for a second and
                          move the frequency, for trends to show

Faults (both transports):
  --exception CODE[:a|:b] answer every read (or only block a, addresses 0-120, or
                          block b, addresses 121-244) with exception CODE
  --silent                never answer
  --wrong-function        answer reads with function code 4 instead of 3
  --short-reply           answer reads with one register fewer than asked (the
                          frame's own lengths agree with it)

Faults (Modbus/TCP):
  --delay MS              answer MS milliseconds late
  --split MS              send each reply in two TCP segments, MS milliseconds apart
  --drop-every N          close the connection on every Nth request, unanswered
  --wrong-tid             answer with another transaction identifier than asked
  --garbage               send a frame with an impossible length before each reply

Faults (Modbus RTU):
  --bad-crc               send every reply with a wrong CRC
  --noise N               send N garbage bytes right before every reply
  --chatter MS            another device (the next address) talks every MS ms
  --hangup-after N        answer N requests, then the pseudo-terminal goes away
                          (the simulator ends)

Faults of the meter's data (each breaks what a module check must catch):
  --clock-offset SECONDS  the module's clock is this far ahead (negative: behind)
  --clock-drift PPM       the module's clock gains PPM millionths (negative: loses)
  --reverse-sequence      the voltages come L1-L3-L2
  --reverse-ct L1|L2|L3   that phase's current transformer is mounted reversed
  --missing-phase L1|L2|L3
                          that phase has no voltage (and carries no current)
  --frequency HZ          the supply's frequency is HZ
  --encoding-error OBIS   the 32-bit copy of that totaliser (1.8.0 ... 10.8.0) is off
                          by a thousand counts
  --reactive-mismatch     Q+ (3.8.0) is not Q1 + Q2
  --energy-rate FACTOR    the totalisers advance FACTOR times what the power gives
  --frozen                the values stop changing (clock included)
  --lp-mismatch           a channel of P.02 disagrees with its 32-bit copy
  --power-mismatch PERCENT
                          the total active power is PERCENT off the phases' sum

  --version               the program's name and version
  --help                  this text
)";
}

} // namespace kalvo::sim
