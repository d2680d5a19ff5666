#include "qzLog.h"

// Off unless asked for (QT_LOGGING_RULES="kestrun.debug.debug=true"): users never see these lines.
Q_LOGGING_CATEGORY(kestrunDebug, "kestrun.debug", QtInfoMsg)
