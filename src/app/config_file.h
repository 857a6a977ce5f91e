#pragma once

#include "app/client_config.h"

#include <QString>

namespace kalvo {

// The INI file, section [Config]. Read once at start-up, written once at close. Missing keys
// and integers that do not parse give the defaults.
class ConfigFile {
public:
    explicit ConfigFile(QString path) : fPath(std::move(path)) {}

    // PathFor this program and the user's configuration folder (created when it is used).
    static QString DefaultPath();
    // `<executable>.ini` beside the executable when that folder is writable and either holds
    // such a file already (a portable copy) or is no system folder (/usr, /opt, /bin, ...);
    // otherwise the same name in `userFolder`. A client installed in /usr/bin and started as
    // root must not leave its settings there.
    static QString PathFor(const QString& executable, const QString& userFolder);

    ClientConfig Read() const;
    // The reason the file could not be written, or nothing.
    QString Write(const ClientConfig& config) const;

private:
    QString fPath;
};

} // namespace kalvo
