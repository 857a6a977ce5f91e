#include "qt_common/app_icon.h"

// Outside any namespace, as the resource initialiser is.
static void InitAppResources() {
    Q_INIT_RESOURCE(app_resources);
}

namespace kalvo {

QIcon AppIcon() {
    InitAppResources();
    return QIcon(QStringLiteral(":/kalvo/images/kalvo.svg"));
}

} // namespace kalvo
