#include "poll_options.h"

#include "checks/check_setting_field.h"

#include <charconv>

namespace kalvo::poll {

namespace {

void ParseTcpTarget(const std::string& target, PollOptions& options) {
    const std::size_t colon = target.rfind(':');
    options.Host = target.substr(0, colon);
    if (colon != std::string::npos) {
        options.Port = static_cast<std::int32_t>(
            UsageError::Number(target.substr(colon + 1), "--tcp PORT", 1, 65535));
    }
    if (options.Host.empty()) {
        throw UsageError("--tcp needs a host name or address");
    }
}

OutputFormat ParseFormat(const std::string& text) {
    if (text == "table") {
        return OutputFormat::Table;
    }
    if (text == "csv") {
        return OutputFormat::Csv;
    }
    if (text == "json") {
        return OutputFormat::Json;
    }
    throw UsageError("--format takes table, csv or json, not '" + text + "'");
}

// "--tolerance NAME=VALUE": the check settings a run is judged by.
void ParseTolerance(const std::string& text, CheckSettings& settings) {
    const std::size_t equals = text.find('=');
    const std::string name = text.substr(0, equals);
    const CheckSettingField* field = CheckSettingField::Find(name);
    if (field == nullptr || equals == std::string::npos) {
        std::string names;
        for (const CheckSettingField& known : CheckSettingField::All()) {
            names += (names.empty() ? "" : ", ") + std::string(known.Key);
        }
        throw UsageError("--tolerance takes NAME=VALUE with NAME one of " + names + "; not '" +
                         text + "'");
    }
    const std::string number = text.substr(equals + 1);
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || error != std::errc() || end != number.data() + number.size() ||
        !(value >= 0)) {
        throw UsageError("--tolerance " + name + " takes a number from 0 up, not '" + number + "'");
    }
    settings.*field->Field = value;
}

} // namespace

PollOptions PollOptions::Parse(const std::vector<std::string>& arguments) {
    PollOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        auto value = [&]() -> const std::string& { return UsageError::Value(arguments, i); };
        if (option == "--help" || option == "-h") {
            options.Help = true;
        } else if (option == "--version") {
            options.Version = true;
        } else if (option == "--tcp") {
            ParseTcpTarget(value(), options);
        } else if (option == "--rtu") {
            options.SerialDevice = value();
        } else if (option == "--baud") {
            options.Baud =
                static_cast<std::int32_t>(UsageError::Number(value(), "--baud", 1, 19200));
            if (options.Baud != 2400 && options.Baud != 4800 && options.Baud != 9600 &&
                options.Baud != 19200) {
                throw UsageError("--baud takes 2400, 4800, 9600 or 19200");
            }
        } else if (option == "--address") {
            options.Address =
                static_cast<std::int32_t>(UsageError::Number(value(), "--address", 1, 255));
        } else if (option == "--step") {
            options.Cycles = 2;
        } else if (option == "--run") {
            options.Cycles =
                static_cast<std::uint32_t>(UsageError::Number(value(), "--run", 1, 4294967295LL));
        } else if (option == "--interval") {
            options.IntervalMs =
                static_cast<std::int32_t>(UsageError::Number(value(), "--interval", 0, 3600000));
        } else if (option == "--timeout") {
            options.TimeoutMs =
                static_cast<std::uint32_t>(UsageError::Number(value(), "--timeout", 1, 600000));
        } else if (option == "--format") {
            options.Format = ParseFormat(value());
        } else if (option == "--csv-dir") {
            options.CsvDir = value();
        } else if (option == "--record") {
            options.RecordPath = value();
            if (options.RecordPath.empty()) {
                throw UsageError("--record needs a file name");
            }
        } else if (option == "--record-split") {
            options.RecordSplit = value();
            if (options.RecordSplit != "hour" && options.RecordSplit != "day") {
                throw UsageError("--record-split takes hour or day, not '" + options.RecordSplit +
                                 "'");
            }
        } else if (option == "--check") {
            options.Check = true;
        } else if (option == "--junit") {
            options.JUnitPath = value();
            options.Check = true;
        } else if (option == "--report") {
            options.ReportPath = value();
            if (options.ReportPath.empty()) {
                throw UsageError("--report needs a file name");
            }
            options.Check = true;
        } else if (option == "--tolerance") {
            ParseTolerance(value(), options.Tolerances);
        } else if (option == "--reset-statistics") {
            options.ResetStatistics = true;
        } else {
            throw UsageError("unknown option '" + option + "'");
        }
    }
    if (options.Help || options.Version) {
        return options;
    }
    if (options.Host.empty() == options.SerialDevice.empty()) {
        throw UsageError("say where the module is: --tcp HOST[:PORT] or --rtu DEVICE");
    }
    if (!options.RecordSplit.empty() && options.RecordPath.empty()) {
        throw UsageError("--record-split needs --record FILE");
    }
    return options;
}

std::string PollOptions::Usage() {
    return R"(Usage: kalvo-poll (--tcp HOST[:PORT] | --rtu DEVICE [--baud RATE] [--address N])
                  [--step | --run N] [--interval MS] [--timeout MS]
                  [--format table|csv|json] [--csv-dir DIR] [--reset-statistics]
                  [--record FILE [--record-split hour|day]]
                  [--check [--junit FILE] [--tolerance NAME=VALUE]...]
                  [--report FILE.html]
       kalvo-poll --help | --version

Reads the KALVO module's register map over Modbus/TCP or Modbus RTU and prints it
decoded.

  --tcp HOST[:PORT]    the module on the network (port 502 when not given)
  --rtu DEVICE         the module on a serial port: ttyUSB0, /dev/ttyS1, or a link
                       to a pseudo-terminal; 8 data bits, no parity, 1 stop bit
  --baud RATE          2400, 4800, 9600 (default) or 19200
  --address N          the module's server address, 1 to 255 (default 1)
  --step               read both register blocks once (the default)
  --run N              read N blocks, alternating between the two
  --interval MS        pause after every read, in milliseconds (default 1000)
  --timeout MS         longest wait for a TCP reply, in milliseconds (default 15000)
  --format FORMAT      print the four tables: table, csv, or json (raw registers
                       and decoded values)
  --csv-dir DIR        write the four tables as DIR/KALVO_<serial>_<tab>.csv,
                       exactly as the client's export does
  --reset-statistics   clear the communication statistics before the first read
  --record FILE        write every successful read to FILE as one CSV row: local
                       time (ISO 8601), the block read, one column per quantity of
                       the map (the other block's left empty); flushed row by row
  --record-split hour|day
                       one file per hour or day instead, named FILE's name plus
                       the time of its first row
  --check              judge the module's data: the checks of the newest reading
                       (a Step's) and, over a --run, those of the run; their table
                       follows the register tables in the chosen format
  --junit FILE         also write the checks as a JUnit XML report (implies --check)
  --tolerance NAME=VALUE
                       a check setting: nominal-voltage (V), nominal-frequency (Hz),
                       clock (s), frequency (%), voltage (%), angle (degrees),
                       loaded-current (A), power (% of S), power-floor (kW),
                       power-factor, energy (%), drift (s/day), frozen (s)
  --report FILE        after the run, write the commissioning report to FILE: one
                       HTML document with the module, the connection, the
                       settings, the checks (implied), the phasor diagram, trends
                       of the phase voltages and currents, the total active power
                       and the frequency, the communication statistics, the failed
                       reads and the four tables
  --version            the program's name and version
  --help               this text

Log lines go to standard error, tables to standard output, the statistics to
standard error at the end.
Exit status: 0 when every read succeeded (and, with --check, no check failed;
warnings and waiting checks do not count), 1 when any read failed or a recording
stopped, 2 on a usage error, 3 when a check failed.
)";
}

} // namespace kalvo::poll
