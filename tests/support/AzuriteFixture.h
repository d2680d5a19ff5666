#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

// A running local table service for a test process. Under CTest the "azurite" fixture has
// started one for the whole run (its port in KESTRUN_AZURITE_DIR); a test run on its own
// starts a private one and stops it again. Tests share the service, so each one writes to
// partitions of its own.
//
// Needs KESTRUN_SOURCE_DIR and KESTRUN_AZURITE_DIR defined by the build.
class AzuriteFixture
{
public:
    static constexpr const char *Account = "devstoreaccount1";
    static constexpr const char *Key
        = "Eby8vdM02xNOcqFlqUwJPLlmEtlCDXJ1OUzFT50uSRZ6IFsuFq2UVErCz4I6"
          "tq/K1SZFPTOtr/KBHBeksoGMGw==";

    AzuriteFixture()
    {
        m_port = sharedPort();
        if (m_port > 0)
            return;
        m_private = std::make_unique<QTemporaryDir>();
        QProcess p;
        p.start(script(), {QStringLiteral("start"), m_private->path(), QStringLiteral("--memory")});
        p.waitForFinished(30000);
        m_port = p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()).trimmed().toInt()
                                   : 0;
        if (m_port <= 0)
            m_error = QString::fromUtf8(p.readAllStandardError());
    }
    ~AzuriteFixture()
    {
        if (m_private)
            QProcess::execute(script(), {QStringLiteral("stop"), m_private->path()});
    }
    AzuriteFixture(const AzuriteFixture &) = delete;
    AzuriteFixture &operator=(const AzuriteFixture &) = delete;

    bool ok() const { return m_port > 0; }
    QString error() const { return m_error; }
    int port() const { return m_port; }
    QString endpoint() const
    {
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(QLatin1String(Account));
    }
    // Points AzureStart at this service.
    void exportEnv() const
    {
        qputenv("KESTRUN_TABLE_ENDPOINT", endpoint().toUtf8());
        qputenv("KESTRUN_TABLE_ACCOUNT", Account);
        qputenv("KESTRUN_TABLE_KEY", Key);
    }

    static bool listening(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0)
            return false;
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool up = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        ::close(fd);
        return up;
    }

private:
    static QString script() { return QStringLiteral(KESTRUN_SOURCE_DIR "/tools/azurite"); }

    static int sharedPort()
    {
        QFile pidFile(QStringLiteral(KESTRUN_AZURITE_DIR "/azurite.pid"));
        QFile portFile(QStringLiteral(KESTRUN_AZURITE_DIR "/azurite.port"));
        if (!pidFile.open(QIODevice::ReadOnly) || !portFile.open(QIODevice::ReadOnly))
            return 0;
        const int pid = pidFile.readAll().trimmed().toInt();
        const int port = portFile.readAll().trimmed().toInt();
        if (pid <= 0 || port <= 0 || ::kill(pid, 0) != 0 || !listening(port))
            return 0;
        return port;
    }

    int m_port = 0;
    QString m_error;
    std::unique_ptr<QTemporaryDir> m_private;
};
