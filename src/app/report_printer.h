#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

class QTemporaryDir;
class QWebEnginePage;

namespace kalvo {

// Prints the report's HTML to an A4 PDF with the browser engine that shows the module's web
// pages, so the PDF is the page a browser prints, SVG pictures and print style included. The
// engine's page is made on first use and works in the background: `finished` tells the end.
class ReportPrinter : public QObject {
    Q_OBJECT

public:
    explicit ReportPrinter(QObject* parent = nullptr);
    ~ReportPrinter() override;

    // False while a report is being printed: one at a time.
    bool Print(const std::string& html, const QString& pdfPath);
    // What the page wrote to its console as errors while it was loaded.
    const QStringList& ConsoleErrors() const { return fConsoleErrors; }

signals:
    void finished(const QString& pdfPath, bool ok);

private:
    void Loaded(bool ok);

    std::unique_ptr<QTemporaryDir> fFolder;
    QWebEnginePage* fPage = nullptr;
    QString fPdfPath;
    QStringList fConsoleErrors;
};

} // namespace kalvo
