#pragma once

#include <QWebEnginePage>

namespace kalvo {

// A browser page that keeps what its content writes to the console as errors.
class ReportPage : public QWebEnginePage {
    Q_OBJECT

public:
    using QWebEnginePage::QWebEnginePage;

signals:
    void consoleError(const QString& text);

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int line, const QString& source) override;
};

} // namespace kalvo
