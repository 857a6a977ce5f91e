#include "app/config_file.h"

#include "checks/check_setting_field.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>

namespace kalvo {

namespace {

const QString kSection = QStringLiteral("Config");

// QSettings splits comma-separated INI values into lists; the configuration has none.
QString TextOf(const QVariant& value) {
    if (value.metaType().id() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(','));
    }
    return value.toString();
}

int ReadInteger(const QSettings& ini, const QString& key, int fallback) {
    return ClientConfig::IntegerText(TextOf(ini.value(key))).value_or(fallback);
}

constexpr int kLargestCoordinate = 1 << 20;
const char* const kFolderKinds[] = {"Csv", "Bitmap", "Trend", "Record"};
// A trend line of 20 million readings takes some 320 MB.
constexpr int kFewestTrendReadings = 1000;
constexpr int kMostTrendReadings = 20'000'000;

// A limit as the file keeps it: a number with a point, or nothing.
QString LimitText(std::optional<double> limit) {
    return limit ? QString::number(*limit, 'g', 17) : QString();
}

std::optional<double> LimitText(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional(value) : std::nullopt;
}

bool ReadBoolean(const QSettings& ini, const QString& key, bool fallback) {
    return ReadInteger(ini, key, fallback ? 1 : 0) != 0;
}

QString ReadText(const QSettings& ini, const QString& key, const QString& fallback) {
    return ini.contains(key) ? TextOf(ini.value(key)) : fallback;
}

} // namespace

QString ConfigFile::DefaultPath() {
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString path = PathFor(QCoreApplication::applicationFilePath(), user);
    if (path.startsWith(user + '/')) {
        QDir().mkpath(user);
    }
    return path;
}

QString ConfigFile::PathFor(const QString& executable, const QString& userFolder) {
    const QFileInfo program(executable);
    const QString name = program.completeBaseName() + QStringLiteral(".ini");
    const QFileInfo folder(program.absolutePath());
    const QString beside = QDir(folder.absoluteFilePath()).filePath(name);
    const QString canonical = folder.canonicalFilePath();
    bool system = false;
    for (const char* prefix : {"/usr", "/opt", "/bin", "/sbin", "/lib", "/etc", "/var"}) {
        system = system || canonical == prefix || canonical.startsWith(QString(prefix) + '/');
    }
    if (folder.isWritable() && (QFileInfo::exists(beside) || !system)) {
        return beside;
    }
    return QDir(userFolder).filePath(name);
}

ClientConfig ConfigFile::Read() const {
    const ClientConfig defaults;
    ClientConfig config;
    QSettings ini(fPath, QSettings::IniFormat);
    ini.beginGroup(kSection);
    const QRect& place = defaults.Placement;
    // Bounded so that the rectangle's far edges stay within an int; the window fits it to the
    // screen.
    auto coordinate = [&ini](const char* key, int fallback, int low) {
        return std::clamp(ReadInteger(ini, key, fallback), low, kLargestCoordinate);
    };
    config.Placement =
        QRect(coordinate("Left", place.left(), -kLargestCoordinate),
              coordinate("Top", place.top(), -kLargestCoordinate),
              coordinate("Width", place.width(), 1), coordinate("Heigth", place.height(), 1));
    config.LogPanelHeight = coordinate("LogPanelHeight", defaults.LogPanelHeight, 0);
    config.TCPAddress = ReadText(ini, "TCPAddress", defaults.TCPAddress);
    config.TCPPort = ReadInteger(ini, "TCPPort", *defaults.TCPPort);
    config.UsingTCP = ReadBoolean(ini, "UsingTCP", defaults.UsingTCP);
    config.ModbusRTUAddress = ReadInteger(ini, "ModbusRTUAddress", *defaults.ModbusRTUAddress);
    config.SerialCOM = ReadText(ini, "SerialCOM", defaults.SerialCOM);
    config.ModbusRTUSpeedIndex =
        ReadInteger(ini, "ModbusRTUSpeedIndex", defaults.ModbusRTUSpeedIndex);
    config.Poll.PollingDelayIndex =
        ReadInteger(ini, "PollingDelayIndex", defaults.Poll.PollingDelayIndex);
    config.Poll.ResetStatistics =
        ReadBoolean(ini, "ResetStatistics", defaults.Poll.ResetStatistics);
    config.Poll.ReplyTimeoutS =
        std::clamp(ReadInteger(ini, "ReplyTimeout", defaults.Poll.ReplyTimeoutS), 1,
                   PollSettings::kLongestReplyTimeoutS);
    config.RecordSplit = std::clamp(ReadInteger(ini, "RecordSplit", defaults.RecordSplit), 0, 2);
    if (ini.contains("TrendQuantities")) {
        std::vector<int> indices;
        for (const QString& item : ReadText(ini, "TrendQuantities", QString()).split(' ')) {
            if (const std::optional<int> index = ClientConfig::IntegerText(item)) {
                indices.push_back(*index);
            }
        }
        config.TrendQuantities = indices;
    }
    config.TrendCapacity = static_cast<std::size_t>(
        std::clamp(ReadInteger(ini, "TrendHistory", static_cast<int>(defaults.TrendCapacity)),
                   kFewestTrendReadings, kMostTrendReadings));
    for (const char* kind : kFolderKinds) {
        const QString folder = ReadText(ini, QString("LastFolder") + kind, QString());
        if (!folder.isEmpty()) {
            config.LastFolders[kind] = folder;
        }
    }
    // "register:slot register:slot ..."
    for (const QString& item : ReadText(ini, "TrendColours", QString()).split(' ')) {
        const std::optional<int> index = ClientConfig::IntegerText(item.section(':', 0, 0));
        const std::optional<int> slot = ClientConfig::IntegerText(item.section(':', 1, 1));
        if (index && slot && *slot >= 0) {
            config.TrendColours[*index] = *slot;
        }
    }
    for (const CheckSettingField& field : CheckSettingField::All()) {
        const QString key = QString("Check-") + field.Key;
        const std::optional<double> value = LimitText(ReadText(ini, key, QString()));
        if (value && *value >= 0) {
            config.Checks.*field.Field = *value;
        }
    }
    // "1600x900"
    const QStringList picture = ReadText(ini, "TrendPictureSize", QString()).split('x');
    const std::optional<int> width = ClientConfig::IntegerText(picture.value(0));
    const std::optional<int> height = ClientConfig::IntegerText(picture.value(1));
    if (picture.size() == 2 && width && height) {
        config.TrendPictureSize = QSize(*width, *height);
    }
    // "register:lower:upper ...", either limit may be empty.
    for (const QString& item : ReadText(ini, "TrendLimits", QString()).split(' ')) {
        const std::optional<int> index = ClientConfig::IntegerText(item.section(':', 0, 0));
        const TrendLimit limit{LimitText(item.section(':', 1, 1)),
                               LimitText(item.section(':', 2, 2))};
        if (index && !limit.Empty()) {
            config.TrendLimits[*index] = limit;
        }
    }
    return config;
}

QString ConfigFile::Write(const ClientConfig& config) const {
    QSettings ini(fPath, QSettings::IniFormat);
    ini.beginGroup(kSection);
    ini.setValue("Left", config.Placement.left());
    ini.setValue("Top", config.Placement.top());
    ini.setValue("Width", config.Placement.width());
    ini.setValue("Heigth", config.Placement.height());
    ini.setValue("LogPanelHeight", config.LogPanelHeight);
    ini.setValue("TCPAddress", config.TCPAddress);
    if (config.TCPPort) {
        ini.setValue("TCPPort", *config.TCPPort);
    }
    ini.setValue("UsingTCP", config.UsingTCP ? 1 : 0);
    if (config.ModbusRTUAddress) {
        ini.setValue("ModbusRTUAddress", *config.ModbusRTUAddress);
    }
    ini.setValue("SerialCOM", config.SerialCOM);
    ini.setValue("ModbusRTUSpeedIndex", config.ModbusRTUSpeedIndex);
    ini.setValue("PollingDelayIndex", config.Poll.PollingDelayIndex);
    ini.setValue("ResetStatistics", config.Poll.ResetStatistics ? 1 : 0);
    ini.setValue("ReplyTimeout", config.Poll.ReplyTimeoutS);
    ini.setValue("TrendHistory", static_cast<qulonglong>(config.TrendCapacity));
    for (const auto& [kind, folder] : config.LastFolders) {
        ini.setValue("LastFolder" + kind, folder);
    }
    ini.setValue("RecordSplit", config.RecordSplit);
    if (config.TrendQuantities) {
        QStringList indices;
        for (int index : *config.TrendQuantities) {
            indices << QString::number(index);
        }
        ini.setValue("TrendQuantities", indices.join(' '));
    }
    if (!config.TrendColours.empty()) {
        QStringList pairs;
        for (const auto& [index, slot] : config.TrendColours) {
            pairs << QString("%1:%2").arg(index).arg(slot);
        }
        ini.setValue("TrendColours", pairs.join(QChar(32)));
    }
    ini.setValue("TrendPictureSize", QString("%1x%2")
                                         .arg(config.TrendPictureSize.width())
                                         .arg(config.TrendPictureSize.height()));
    for (const CheckSettingField& field : CheckSettingField::All()) {
        ini.setValue(QString("Check-") + field.Key, LimitText(config.Checks.*field.Field));
    }
    QStringList limits;
    for (const auto& [index, limit] : config.TrendLimits) {
        if (!limit.Empty()) {
            limits << QString("%1:%2:%3")
                          .arg(index)
                          .arg(LimitText(limit.Lower), LimitText(limit.Upper));
        }
    }
    ini.setValue("TrendLimits", limits.join(QChar(32)));
    ini.endGroup();
    ini.sync();
    if (ini.status() == QSettings::NoError) {
        return {};
    }
    // QSettings does not say why; opening the file the same way does.
    QFile probe(fPath);
    const bool opened = probe.open(QIODevice::ReadWrite);
    return opened ? QStringLiteral("Unknown error") : probe.errorString();
}

} // namespace kalvo
