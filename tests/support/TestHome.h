#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <ctime>

// A temporary home folder for one test: HOME and the XDG folders point into it, so no test
// touches the developer's own files.
class TestHome
{
public:
    TestHome()
    {
        setEnv("HOME", m_dir.path());
        setEnv("XDG_DATA_HOME", m_dir.path() + QStringLiteral("/.local/share"));
        setEnv("XDG_CONFIG_HOME", m_dir.path() + QStringLiteral("/.config"));
        setEnv("XDG_CACHE_HOME", m_dir.path() + QStringLiteral("/.cache"));
        setEnv("XDG_DOCUMENTS_DIR", m_dir.path() + QStringLiteral("/Documents"));
    }
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

    static void setEnv(const char *name, const QString &value)
    {
        qputenv(name, value.toLocal8Bit());
    }

private:
    QTemporaryDir m_dir;
};

// The process's time zone for local-time conversions.
inline void setTimeZone(const char *tz)
{
    qputenv("TZ", QByteArray(tz));
    tzset();
}
