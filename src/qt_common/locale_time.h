#pragma once

#include <QDateTime>
#include <QString>
#include <string>

namespace kalvo {

// The locale's long time format without its time-zone name (14:05:09, 2:05:09 PM).
QString LongTimeText(const QTime& time);
// The locale's short date, a space, and the long time as above.
QString DateTimeText(const QDateTime& dateTime);

// The locale's decimal separator, as the tables and exports write numbers.
std::string DecimalSeparator();

} // namespace kalvo
