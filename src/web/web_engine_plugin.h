#pragma once

#include "app/web_plugin.h"

#include <QObject>

namespace kalvo {

// The browser engine (Qt WebEngine) behind the window's web tab and its PDF reports.
class WebEnginePlugin : public QObject, public WebPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID KalvoWebPlugin_iid)
    Q_INTERFACES(kalvo::WebPlugin)

public:
    WebEnginePlugin();

    QWidget* CreateView(QWidget* parent, LoadFailed failed) override;
    void Navigate(QWidget* view, const QUrl& address) override;
    void Reload(QWidget* view) override;
    void PrintToPdf(const QUrl& page, const QString& pdfPath, QObject* context,
                    Printed printed) override;
};

} // namespace kalvo
