#pragma once

#include <QJsonObject>
#include <QString>
#include <QVector>

#include <optional>

// The users of the local account service, kept in one JSON file. Passwords are stored as a
// salted SHA-256 hash only. Addresses are matched without regard to letter case, as the
// hosted service does.
class AccountStore
{
public:
    struct User
    {
        QString objectId;
        qint64 created = 0;
        std::optional<qint64> lastLogin;
        QJsonObject properties; // email, name, partnerid and whatever else was registered
        QByteArray salt;
        QByteArray passwordHash;
    };

    explicit AccountStore(QString fileName) : m_fileName(std::move(fileName)) { }

    // A missing file is an empty store; an unreadable one is an error.
    bool load(QString *error);
    bool save(QString *error) const;

    // Index of the user whose email matches, or -1.
    int find(const QString &email) const;
    const User &user(int index) const { return m_users.at(index); }
    bool passwordMatches(int index, const QString &password) const;
    void touchLogin(int index, qint64 when) { m_users[index].lastLogin = when; }
    int add(const QJsonObject &properties, const QString &password, qint64 now);

    // The user object as the service answers it (no password, no hash).
    QJsonObject publicObject(int index) const;

private:
    QString m_fileName;
    QVector<User> m_users;
};
