#include "web/report_page.h"

namespace kalvo {

void ReportPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                          const QString& message, int line, const QString& source) {
    if (level == ErrorMessageLevel) {
        emit consoleError(source + ":" + QString::number(line) + ": " + message);
    }
}

} // namespace kalvo
