#include "web/web_engine_plugin.h"

#include "web/load_failure_relay.h"
#include "web/report_page.h"

#include <QMarginsF>
#include <QOpenGLContext>
#include <QPageLayout>
#include <QPageSize>
#include <QPointer>
#include <QQmlContext>
#include <QQmlError>
#include <QQuickItem>
#include <QQuickView>
#include <QSurfaceFormat>
#include <QWidget>
#include <memory>

QT_BEGIN_NAMESPACE
// Qt's own, exported; the engine's first set-up (Qt 5's QtWebEngine::initialize) used it too.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE

namespace kalvo {

namespace {

QObject* PageOf(QWidget* view) {
    return view->property(WebPlugin::kPageProperty).value<QObject*>();
}

} // namespace

// The engine draws through OpenGL contexts shared with one of the application's. Qt makes
// that one only when asked before the application exists, at every start (some 130 ms and
// 55 MB on a software-rendered display); it is made here instead, on first use. Nothing in
// the window draws with OpenGL before, so no earlier context misses the sharing. It lives as
// long as the process: the engine's threads use it until their very end.
WebEnginePlugin::WebEnginePlugin() {
    if (QOpenGLContext::globalShareContext() != nullptr) {
        return;
    }
    auto* context = new QOpenGLContext;
    context->setFormat(QSurfaceFormat::defaultFormat());
    if (!context->create()) {
        qWarning("no OpenGL context to share with the web view");
    }
    qt_gl_set_global_share_context(context);
}

// The page is drawn in a window of its own inside the tab: a browser widget would turn the
// whole main window into one composited through OpenGL, re-created on first use and costly
// at every repaint after.
QWidget* WebEnginePlugin::CreateView(QWidget* parent, LoadFailed failed) {
    auto* quick = new QQuickView;
    quick->setResizeMode(QQuickView::SizeRootObjectToView);
    quick->rootContext()->setContextProperty("loadFailures",
                                             new LoadFailureRelay(std::move(failed), quick));
    quick->setSource(QUrl("qrc:/kalvo/web_view.qml"));
    if (quick->status() != QQuickView::Ready) {
        for (const QQmlError& error : quick->errors()) {
            qWarning().noquote() << error.toString();
        }
        delete quick;
        return nullptr;
    }
    QWidget* view = QWidget::createWindowContainer(quick, parent);
    view->setObjectName("WebBrowser1");
    view->setAccessibleName("Web interface");
    view->setFocusPolicy(Qt::StrongFocus);
    view->setProperty(kPageProperty, QVariant::fromValue<QObject*>(quick->rootObject()));
    return view;
}

void WebEnginePlugin::Navigate(QWidget* view, const QUrl& address) {
    PageOf(view)->setProperty("url", address);
}

void WebEnginePlugin::Reload(QWidget* view) {
    QMetaObject::invokeMethod(PageOf(view), "reload");
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
