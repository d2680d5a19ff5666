#pragma once

#include <QLoggingCategory>

// The debug log: one line per call, never shown to the user.
Q_DECLARE_LOGGING_CATEGORY(kestrunDebug)

inline void debugLog(const QString &line)
{
    qCDebug(kestrunDebug).noquote() << line;
}
