#pragma once

#include <QLoggingCategory>

// Where the client's log lines and diagnostics go besides the window ("kalvo" category).
Q_DECLARE_LOGGING_CATEGORY(lcKalvo)
