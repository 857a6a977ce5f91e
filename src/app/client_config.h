#pragma once

#include "checks/check_settings.h"
#include "registers/poll_settings.h"
#include "trend/trend_limit.h"
#include "trend/trend_series.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <map>
#include <optional>
#include <vector>

namespace kalvo {

// The factory settings of the module's Ethernet side.
inline const QString kFactoryTcpAddress = QStringLiteral("192.168.1.100");
inline constexpr int kDefaultTcpPort = 502;
inline constexpr int kDefaultSpeedIndex = 2;

// The settings carried from one run of the client to the next. Port and address are
// optional on the way out: a text that is not an integer is not written.
struct ClientConfig {
    QRect Placement{50, 50, 947, 660};
    // The height of the communication log below the pages.
    int LogPanelHeight = 130;
    QString TCPAddress = kFactoryTcpAddress;
    std::optional<int> TCPPort = kDefaultTcpPort;
    bool UsingTCP = true;
    std::optional<int> ModbusRTUAddress = 1;
    QString SerialCOM;
    int ModbusRTUSpeedIndex = kDefaultSpeedIndex;
    PollSettings Poll;
    // The nominal values and tolerances of the module checks.
    CheckSettings Checks;
    // How a recording is split: 0 one file, 1 a file per hour, 2 a file per day.
    int RecordSplit = 0;
    // The first registers of the quantities the trend follows; nothing: the default set.
    std::optional<std::vector<int>> TrendQuantities;
    // The colour slot of each quantity the trend has shown, by first register.
    std::map<int, int> TrendColours;
    // The limits set on trend quantities, by first register.
    std::map<int, TrendLimit> TrendLimits;
    // The size of a saved trend picture.
    QSize TrendPictureSize{1600, 900};
    // How many readings each trend line keeps.
    std::size_t TrendCapacity = TrendSeries::kDefaultCapacity;
    // The folder last used for each kind of file: "Csv", "Bitmap", "Trend", "Record".
    std::map<QString, QString> LastFolders;

    // An integer text as the configuration accepts it; nothing for anything else.
    static std::optional<int> IntegerText(const QString& text);
};

} // namespace kalvo
