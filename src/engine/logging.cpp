#include "logging.h"

Q_LOGGING_CATEGORY(lcLink, "tav.link", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSearch, "tav.search", QtInfoMsg)
