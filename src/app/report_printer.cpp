#include "app/report_printer.h"

#include "app/app_logging.h"
#include "app/report_page.h"

#include <QFile>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QTemporaryDir>
#include <QUrl>

namespace kalvo {

ReportPrinter::ReportPrinter(QObject* parent) : QObject(parent) {}

ReportPrinter::~ReportPrinter() = default;

// The HTML goes through a file: a page set from a string is limited to 2 MB.
bool ReportPrinter::Print(const std::string& html, const QString& pdfPath) {
    if (!fPdfPath.isEmpty()) {
        return false;
    }
    fFolder = std::make_unique<QTemporaryDir>();
    const QString source = fFolder->filePath("report.html");
    QFile file(source);
    if (!fFolder->isValid() || !file.open(QIODevice::WriteOnly) ||
        file.write(QByteArray::fromStdString(html)) < 0 || !file.flush()) {
        qCWarning(lcKalvo) << "cannot stage the report for printing:" << file.errorString();
        emit finished(pdfPath, false);
        return true;
    }
    file.close();
    if (fPage == nullptr) {
        auto* page = new ReportPage(this);
        connect(page, &ReportPage::consoleError, this,
                [this](const QString& text) { fConsoleErrors << text; });
        connect(page, &QWebEnginePage::loadFinished, this, &ReportPrinter::Loaded);
        connect(page, &QWebEnginePage::pdfPrintingFinished, this,
                [this](const QString& path, bool ok) {
                    fPdfPath.clear();
                    emit finished(path, ok);
                });
        fPage = page;
    }
    fPdfPath = pdfPath;
    fConsoleErrors.clear();
    fPage->load(QUrl::fromLocalFile(source));
    return true;
}

void ReportPrinter::Loaded(bool ok) {
    if (fPdfPath.isEmpty()) {
        return;
    }
    if (!ok) {
        const QString path = fPdfPath;
        fPdfPath.clear();
        emit finished(path, false);
        return;
    }
    // The margins are the print style's, for a page printed from a browser to match.
    const QPageLayout a4(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(12, 14, 12, 14),
                         QPageLayout::Millimeter);
    fPage->printToPdf(fPdfPath, a4);
}

} // namespace kalvo
