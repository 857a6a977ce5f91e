#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

class QTemporaryDir;

namespace kalvo {

// Prints the report's HTML to an A4 PDF with the browser engine that shows the module's web
// pages (the web plugin), so the PDF is the page a browser prints, SVG pictures and print
// style included. It works in the background: `finished` tells the end.
class ReportPrinter : public QObject {
    Q_OBJECT

public:
    explicit ReportPrinter(QObject* parent = nullptr);
    ~ReportPrinter() override;

    // False while a report is being printed: one at a time.
    bool Print(const std::string& html, const QString& pdfPath);
    // What the page wrote to its console as errors while it was printed.
    const QStringList& ConsoleErrors() const { return fConsoleErrors; }

signals:
    // `reason` says why a PDF was not written.
    void finished(const QString& pdfPath, bool ok, const QString& reason);

private:
    void End(bool ok, const QString& reason);

    std::unique_ptr<QTemporaryDir> fFolder;
    QString fPdfPath;
    QStringList fConsoleErrors;
};

} // namespace kalvo
