#include "poll_target.h"

#include "modbus_serial/serial_port.h"
#include "usage_error.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace kalvo::poll {

using tools::UsageError;

namespace {

std::vector<std::string> CommaSeparated(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (std::size_t comma = text.find(','); comma != std::string::npos;
         comma = text.find(',', start)) {
        items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    items.push_back(text.substr(start));
    return items;
}

std::vector<PollTarget> ParseLine(const std::string& line, const std::string& at) {
    std::istringstream words(line);
    std::string kind;
    std::string where;
    words >> kind >> where;
    std::string rest;
    if (kind == "tcp" && !where.empty()) {
        std::string name;
        words >> name;
        if (!(words >> rest)) {
            PollTarget target = PollTarget::Tcp(where, at);
            target.Name = name;
            target.Given = at;
            return {target};
        }
    }
    std::string baud;
    std::string addresses;
    std::string names;
    if (kind == "rtu" && (words >> baud >> addresses) && !(words >> names >> rest)) {
        std::vector<PollTarget> targets =
            PollTarget::Rtu(where, PollTarget::ParseBaud(baud, at + " BAUD"), addresses, at);
        if (!names.empty()) {
            const std::vector<std::string> each = CommaSeparated(names);
            if (each.size() != targets.size()) {
                throw UsageError(at + ": a name for each address, or none; not '" + names + "'");
            }
            for (std::size_t i = 0; i < each.size(); ++i) {
                targets[i].Name = each[i];
            }
        }
        for (PollTarget& target : targets) {
            target.Given = at;
        }
        return targets;
    }
    throw UsageError(at +
                     ": say tcp HOST[:PORT] [NAME] or rtu DEVICE BAUD ADDRESS[,ADDRESS...] "
                     "[NAME[,NAME...]], not '" +
                     line + "'");
}

} // namespace

std::string PollTarget::Where() const {
    return Serial() ? Device + '@' + std::to_string(Address) : Host + ':' + std::to_string(Port);
}

std::string PollTarget::FileName() const {
    std::string name = Name.empty() ? Where() : Name;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return c == '/' || c == ':'; }, '_');
    return name;
}

std::string PollTarget::Line() const {
    std::error_code ignored;
    const std::filesystem::path path = SerialPort::DevicePath(Device);
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ignored);
    return canonical.empty() ? path.string() : canonical.string();
}

PollTarget PollTarget::Tcp(const std::string& text, const std::string& what) {
    PollTarget parsed;
    const std::size_t colon = text.rfind(':');
    parsed.Host = text.substr(0, colon);
    if (colon != std::string::npos) {
        parsed.Port = static_cast<std::int32_t>(
            UsageError::Number(text.substr(colon + 1), what + " PORT", 1, 65535));
    }
    if (parsed.Host.empty()) {
        throw UsageError(what + " needs a host name or address");
    }
    parsed.Given = what;
    return parsed;
}

std::vector<PollTarget> PollTarget::Rtu(const std::string& device, std::int32_t baud,
                                        const std::string& addresses, const std::string& what) {
    std::vector<PollTarget> targets;
    for (const std::string& text : CommaSeparated(addresses)) {
        PollTarget target;
        target.Device = device;
        target.Baud = baud;
        target.Address =
            static_cast<std::int32_t>(UsageError::Number(text, what + " ADDRESS", 1, 255));
        target.Given = what;
        targets.push_back(std::move(target));
    }
    return targets;
}

std::int32_t PollTarget::ParseBaud(const std::string& text, const std::string& what) {
    const auto baud = static_cast<std::int32_t>(UsageError::Number(text, what, 1, 19200));
    if (baud != 2400 && baud != 4800 && baud != 9600 && baud != 19200) {
        throw UsageError(what + " takes 2400, 4800, 9600 or 19200");
    }
    return baud;
}

std::vector<PollTarget> PollTarget::ReadFile(const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        throw UsageError("cannot read the targets file " + path);
    }
    std::vector<PollTarget> targets;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') {
            continue;
        }
        const std::vector<PollTarget> parsed =
            ParseLine(line, path + " line " + std::to_string(number));
        targets.insert(targets.end(), parsed.begin(), parsed.end());
    }
    return targets;
}

void PollTarget::CheckLines(const std::vector<PollTarget>& targets) {
    std::map<std::string, std::int32_t> speeds;
    for (const PollTarget& target : targets) {
        if (!target.Serial()) {
            continue;
        }
        if (const auto [known, added] = speeds.emplace(target.Line(), target.Baud);
            !added && known->second != target.Baud) {
            throw UsageError(target.Device + " is given at two speeds, " +
                             std::to_string(known->second) + " and " + std::to_string(target.Baud) +
                             " baud");
        }
    }
}

// One module, one set of files: a second file of the same name would take rows of two
// modules, or one module's report would replace another's. Names and file names are compared
// as given (a case-insensitive file system is not guarded against).
void PollTarget::CheckUnique(const std::vector<PollTarget>& targets) {
    std::map<std::string, const PollTarget*> modules;
    std::map<std::string, const PollTarget*> names;
    std::map<std::string, const PollTarget*> files;
    const auto once = [](std::map<std::string, const PollTarget*>& seen, const std::string& key,
                         const PollTarget& target, const std::string& what) {
        if (const auto [known, added] = seen.emplace(key, &target); !added) {
            throw UsageError(what + " (" + known->second->Given + " and " + target.Given + ")");
        }
    };
    for (const PollTarget& target : targets) {
        once(modules,
             target.Serial() ? target.Line() + '@' + std::to_string(target.Address)
                             : target.Where(),
             target, target.Where() + " is given twice");
        if (!target.Name.empty()) {
            once(names, target.Name, target, "two modules are named " + target.Name);
        }
        once(files, target.FileName(), target,
             "two modules would write files named " + target.FileName());
    }
}

} // namespace kalvo::poll
