#include "qzLog.h"

Q_LOGGING_CATEGORY(kestrunDebug, "kestrun.debug")
