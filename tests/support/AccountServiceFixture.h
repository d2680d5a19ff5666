#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>

// The real local account service (tools/accounts) on a free loopback port, with its own users
// file in a temporary folder. The test target defines KESTRUN_ACCOUNTS_BIN, the binary's path.
class AccountService
{
public:
    // file: the users file to serve; a new one in a temporary folder when empty.
    explicit AccountService(const QString &file = {}) : m_usersFile(file)
    {
        m_process.setProgram(QStringLiteral(KESTRUN_ACCOUNTS_BIN));
        m_process.setArguments({QStringLiteral("--users"), usersFile(), QStringLiteral("--port"),
            QStringLiteral("0")});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(10000)) {
            m_error = QStringLiteral("cannot start %1: %2")
                          .arg(m_process.program(), m_process.errorString());
            return;
        }
        // Its first line names the base URL.
        QByteArray out;
        while (!out.contains('\n') && m_process.waitForReadyRead(10000))
            out += m_process.readAllStandardOutput();
        const QRegularExpressionMatch m
            = QRegularExpression(QStringLiteral(R"(listening on (http://\S+))"))
                  .match(QString::fromUtf8(out));
        if (m.hasMatch())
            m_baseUrl = m.captured(1);
        else
            m_error = QStringLiteral("the account service did not say where it listens: ")
                + QString::fromUtf8(out);
    }
    ~AccountService()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(5000);
            }
        }
    }
    AccountService(const AccountService &) = delete;
    AccountService &operator=(const AccountService &) = delete;

    bool ok() const { return !m_baseUrl.isEmpty(); }
    QString error() const { return m_error; }
    // http://127.0.0.1:PORT/APPID/APIKEY
    QString baseUrl() const { return m_baseUrl; }
    QString usersFile() const
    {
        return m_usersFile.isEmpty() ? m_dir.filePath(QStringLiteral("users.json")) : m_usersFile;
    }

    // The stored record of a user, as the service keeps it in its file.
    QJsonObject storedUser(const QString &email) const
    {
        QFile f(usersFile());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QJsonArray users = QJsonDocument::fromJson(f.readAll())
                                     .object()
                                     .value(QStringLiteral("users"))
                                     .toArray();
        for (const QJsonValue &u : users) {
            const QJsonObject o = u.toObject();
            if (o.value(QStringLiteral("properties"))
                    .toObject()
                    .value(QStringLiteral("email"))
                    .toString()
                    .compare(email, Qt::CaseInsensitive)
                == 0)
                return o;
        }
        return {};
    }

private:
    QTemporaryDir m_dir;
    QString m_usersFile;
    QProcess m_process;
    QString m_baseUrl;
    QString m_error;
};
