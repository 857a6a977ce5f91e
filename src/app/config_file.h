#pragma once

#include "app/client_config.h"

#include <QString>

namespace kalvo {

// The INI file, section [Config]. Read once at start-up, written once at close. Missing keys
// and integers that do not parse give the defaults.
class ConfigFile {
public:
    explicit ConfigFile(QString path) : fPath(std::move(path)) {}

    // `<executable>.ini` beside the executable, or in the user's config folder when the
    // executable's folder is not writable.
    static QString DefaultPath();

    ClientConfig Read() const;
    // The reason the file could not be written, or nothing.
    QString Write(const ClientConfig& config) const;

private:
    QString fPath;
};

} // namespace kalvo
