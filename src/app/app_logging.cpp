#include "app/app_logging.h"

Q_LOGGING_CATEGORY(lcKalvo, "kalvo")
