#include "poll_options.h"

#include "checks/check_setting_field.h"

#include <charconv>
#include <filesystem>

namespace kalvo::poll {

namespace {

void ParseListen(const std::string& text, PollOptions& options) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        throw UsageError("--metrics-listen takes ADDRESS:PORT, not '" + text + "'");
    }
    options.MetricsAddress = text.substr(0, colon);
    options.MetricsPort = static_cast<std::int32_t>(
        UsageError::Number(text.substr(colon + 1), "--metrics-listen PORT", 0, 65535));
}

// What a fleet has no place for: the outputs of one module's run.
void CheckFleet(const PollOptions& options) {
    if (options.Targets.empty()) {
        throw UsageError("--metrics-listen needs modules to poll: --tcp, --rtu or --targets");
    }
    PollTarget::CheckLines(options.Targets);
    PollTarget::CheckUnique(options.Targets);
    if (options.Format != OutputFormat::None || !options.CsvDir.empty()) {
        throw UsageError("--format and --csv-dir take one module");
    }
    for (const auto& [option, path] :
         {std::pair{"--record", &options.RecordPath}, std::pair{"--report", &options.ReportPath},
          std::pair{"--junit", &options.JUnitPath}}) {
        if (!path->empty() && !std::filesystem::is_directory(*path)) {
            throw UsageError(std::string(option) +
                             " takes a folder when several modules are polled (a file for "
                             "each), not '" +
                             *path + "'");
        }
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
    std::string addresses = "1";
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        auto value = [&]() -> const std::string& { return UsageError::Value(arguments, i); };
        if (option == "--help" || option == "-h") {
            options.Help = true;
        } else if (option == "--version") {
            options.Version = true;
        } else if (option == "--tcp") {
            const std::string where = value();
            options.Targets.push_back(PollTarget::Tcp(where, "--tcp"));
            options.Targets.back().Given = "--tcp " + where;
        } else if (option == "--targets") {
            options.TargetsPath = value();
        } else if (option == "--metrics-listen") {
            ParseListen(value(), options);
        } else if (option == "--rtu") {
            options.SerialDevices.push_back(value());
        } else if (option == "--baud") {
            options.Baud = PollTarget::ParseBaud(value(), "--baud");
        } else if (option == "--address") {
            addresses = value();
        } else if (option == "--step") {
            options.Cycles = 2;
        } else if (option == "--run") {
            options.Cycles =
                static_cast<std::uint32_t>(UsageError::Number(value(), "--run", 1, 4294967295LL));
            options.CyclesGiven = true;
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
    // --baud and --address hold for every --rtu; lines that differ go in a targets file.
    for (const std::string& device : options.SerialDevices) {
        std::vector<PollTarget> line =
            PollTarget::Rtu(device, options.Baud, addresses, "--address");
        for (PollTarget& target : line) {
            target.Given = "--rtu " + device;
        }
        options.Targets.insert(options.Targets.end(), line.begin(), line.end());
    }
    if (!options.TargetsPath.empty()) {
        const std::vector<PollTarget> listed = PollTarget::ReadFile(options.TargetsPath);
        options.Targets.insert(options.Targets.end(), listed.begin(), listed.end());
    }
    if (!options.RecordSplit.empty() && options.RecordPath.empty()) {
        throw UsageError("--record-split needs --record FILE");
    }
    if (options.Fleet()) {
        CheckFleet(options);
        return options;
    }
    if (options.Targets.empty()) {
        throw UsageError("say where the module is: --tcp HOST[:PORT] or --rtu DEVICE");
    }
    const PollTarget& module = options.Targets.front();
    options.Host = module.Host;
    options.Port = module.Port;
    options.SerialDevice = module.Device;
    options.Address = module.Address;
    return options;
}

bool PollOptions::Fleet() const {
    return Targets.size() > 1 || !TargetsPath.empty() || MetricsPort >= 0;
}

RecordFile::Split PollOptions::Split() const {
    return RecordSplit == "hour"  ? RecordFile::Split::Hour
           : RecordSplit == "day" ? RecordFile::Split::Day
                                  : RecordFile::Split::None;
}

// Faster than ten reads a second, log lines and rows go out a second's worth at a time.
std::chrono::milliseconds PollOptions::Hold() const {
    return std::chrono::milliseconds(IntervalMs < 100 ? 1000 : 0);
}

std::string PollOptions::Usage() {
    return R"(Usage: kalvo-poll (--tcp HOST[:PORT] | --rtu DEVICE [--baud RATE] [--address N])
                  [--step | --run N] [--interval MS] [--timeout MS]
                  [--format table|csv|json] [--csv-dir DIR] [--reset-statistics]
                  [--record FILE [--record-split hour|day]]
                  [--check [--junit FILE] [--tolerance NAME=VALUE]...]
                  [--report FILE.html]
       kalvo-poll [--tcp HOST[:PORT]]... [--rtu DEVICE]... [--baud RATE]
                  [--address N[,N...]] [--targets FILE] [--run N] [--interval MS]
                  [--timeout MS] [--tolerance NAME=VALUE]...
                  [--record DIR [--record-split hour|day]]
                  [--check] [--junit DIR] [--report DIR]
                  [--metrics-listen ADDRESS:PORT]
       kalvo-poll --help | --version

Reads the KALVO module's register map over Modbus/TCP or Modbus RTU and prints it
decoded.

  --tcp HOST[:PORT]    the module on the network (port 502 when not given)
  --rtu DEVICE         the module on a serial port: ttyUSB0, /dev/ttyS1, or a link
                       to a pseudo-terminal; 8 data bits, no parity, 1 stop bit
  --baud RATE          2400, 4800, 9600 (default) or 19200
  --address N[,N...]   the module's server address, 1 to 255 (default 1); several:
                       the modules at these addresses on the --rtu line
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
  --targets FILE       poll every module FILE names, one line each: tcp HOST[:PORT]
                       [NAME], or the modules on a serial line: rtu DEVICE BAUD
                       ADDRESS[,ADDRESS...] [NAME[,NAME...]]; lines starting with #
                       are comments
  --metrics-listen ADDRESS:PORT
                       serve the modules' data and checks for Prometheus at
                       http://ADDRESS:PORT/metrics (port 0: any free one, named
                       on standard error); /-/healthy answers a supervisor
  --version            the program's name and version
  --help               this text

Log lines go to standard error, tables to standard output, the statistics to
standard error at the end.
Several modules (--tcp or --rtu given more than once, several addresses,
--targets or --metrics-listen) are polled at once, both blocks every interval,
with their checks, until SIGINT or SIGTERM, or for the reads --run asks for:
each module on the network on its own connection; the modules on a serial line in
turn, one request on the line at a time, the lines side by side (--baud and
--address hold for every --rtu; lines that differ go in a targets file). A failed
read is logged with its module's address, and the statistics of each module
follow at the end. --record, --report and --junit then name folders: each module
has a file of its own in each, named after its name in the targets file or its
address (NAME.csv, NAME.html, NAME.xml); a module given twice, or two modules with
one name or one file name, is a usage error.
Exit status: 0 when every read succeeded (and, with --check, no check failed;
warnings and waiting checks do not count), 1 when any read failed or a recording
stopped, 2 on a usage error, 3 when a check failed; polling several modules, 0 once
stopped or done, 1 when a recording stopped, 3 when --run N with --check (or
--junit or --report) ended and a check failed on any module.
)";
}

} // namespace kalvo::poll
