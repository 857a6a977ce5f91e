#pragma once

#include <QIcon>

namespace kalvo {

// The application's icon, for every window it opens.
QIcon AppIcon();

} // namespace kalvo
