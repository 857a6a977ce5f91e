#include "qt_common/locale_time.h"

#include <QLocale>

namespace kalvo {

namespace {

// Drops the time-zone field ('t' outside quoted literals) from a time format.
QString WithoutTimeZone(const QString& format) {
    QString result;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
        }
        if (quoted || c != QLatin1Char('t')) {
            result.append(c);
        }
    }
    return result.simplified();
}

} // namespace

QString LongTimeText(const QTime& time) {
    const QLocale locale;
    return locale.toString(time, WithoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

QString DateTimeText(const QDateTime& dateTime) {
    const QLocale locale;
    return locale.toString(dateTime.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           LongTimeText(dateTime.time());
}

std::string DecimalSeparator() {
    return QLocale().decimalPoint().toStdString();
}

} // namespace kalvo
