#pragma once

#include <QString>
#include <QStringList>
#include <QtPlugin>
#include <functional>

class QObject;
class QUrl;
class QWidget;

namespace kalvo {

// What the window asks of the browser engine, which lives in a plugin loaded the first time
// it is needed: the window links no part of the engine and pays nothing for it at start.
class WebPlugin {
public:
    // Called with the address and the reason of a page that could not be loaded (a page
    // with an HTTP error status is shown, not failed).
    using LoadFailed = std::function<void(const QString& address, const QString& reason)>;
    // Called once a print ends: whether the PDF was written, and the console errors of the
    // page printed.
    using Printed = std::function<void(bool ok, const QStringList& consoleErrors)>;

    // The view's property that holds its page (title, url), for those who look at it.
    static constexpr const char* kPageProperty = "webPage";

    virtual ~WebPlugin() = default;
    // A view of web pages in `parent`, named "WebBrowser1"; null when the engine cannot
    // make one (a part of it is missing), which is logged.
    virtual QWidget* CreateView(QWidget* parent, LoadFailed failed) = 0;
    virtual void Navigate(QWidget* view, const QUrl& address) = 0;
    virtual void Reload(QWidget* view) = 0;
    // Loads `page` and prints it to `pdfPath` on A4 (the margins of the report's print style);
    // `printed` follows on `context`'s thread unless `context` is gone.
    virtual void PrintToPdf(const QUrl& page, const QString& pdfPath, QObject* context,
                            Printed printed) = 0;
};

} // namespace kalvo

#define KalvoWebPlugin_iid "org.kalvo.Client.WebPlugin/1.0"
Q_DECLARE_INTERFACE(kalvo::WebPlugin, KalvoWebPlugin_iid)
