#include "web/web_engine_plugin.h"

#include "web/report_page.h"

#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPointer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineView>
#include <memory>

namespace kalvo {

QWidget* WebEnginePlugin::CreateView(QWidget* parent, LoadFailed failed) {
    auto* view = new QWebEngineView(parent);
    view->setObjectName("WebBrowser1");
    view->setAccessibleName("Web interface");
    connect(view->page(), &QWebEnginePage::loadingChanged, view,
            [failed](const QWebEngineLoadingInfo& info) {
                if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus &&
                    info.errorDomain() != QWebEngineLoadingInfo::HttpStatusCodeDomain) {
                    failed(info.url().toString(), info.errorString());
                }
            });
    return view;
}

void WebEnginePlugin::Navigate(QWidget* view, const QUrl& address) {
    static_cast<QWebEngineView*>(view)->setUrl(address);
}

void WebEnginePlugin::Reload(QWidget* view) {
    static_cast<QWebEngineView*>(view)->reload();
}

// A page of its own for each print; it goes once the PDF is written.
void WebEnginePlugin::PrintToPdf(const QUrl& page, const QString& pdfPath, QObject* context,
                                 Printed printed) {
    auto* print = new ReportPage(this);
    auto errors = std::make_shared<QStringList>();
    const QPointer<QObject> receiver(context);
    auto finish = [print, errors, receiver, printed](bool ok) {
        print->deleteLater();
        if (receiver) {
            printed(ok, *errors);
        }
    };
    connect(print, &ReportPage::consoleError, print,
            [errors](const QString& text) { *errors << text; });
    connect(print, &QWebEnginePage::loadFinished, print, [print, pdfPath, finish](bool ok) {
        if (!ok) {
            finish(false);
            return;
        }
        // The margins are the print style's, for a page printed from a browser to match.
        print->printToPdf(pdfPath, QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                               QMarginsF(12, 14, 12, 14), QPageLayout::Millimeter));
    });
    connect(print, &QWebEnginePage::pdfPrintingFinished, print,
            [finish](const QString&, bool ok) { finish(ok); });
    print->load(page);
}

} // namespace kalvo
