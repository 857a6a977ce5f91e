#pragma once

#include "app/web_plugin.h"

#include <QObject>

namespace kalvo {

// Carries the page's load failures from the view's script to the window.
class LoadFailureRelay : public QObject {
    Q_OBJECT

public:
    LoadFailureRelay(WebPlugin::LoadFailed failed, QObject* parent);

    Q_INVOKABLE void failed(const QString& address, const QString& reason);

private:
    WebPlugin::LoadFailed fFailed;
};

} // namespace kalvo
