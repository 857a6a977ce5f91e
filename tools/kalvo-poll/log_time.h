#pragma once

#include <string>

namespace kalvo::poll {

// Now, in seconds since the epoch, as the checks and the journal count time.
double NowSeconds();
// Now as a log line starts with it: HH:MM:SS, local time.
std::string TimeStamp();

} // namespace kalvo::poll
