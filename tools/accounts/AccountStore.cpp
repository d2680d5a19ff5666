#include "AccountStore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QUuid>

namespace {
QByteArray hashOf(const QByteArray &salt, const QString &password)
{
    return QCryptographicHash::hash(salt + password.toUtf8(), QCryptographicHash::Sha256);
}

QByteArray randomBytes(int n)
{
    QByteArray b(n, '\0');
    for (char &c : b)
        c = char(QRandomGenerator::system()->bounded(256));
    return b;
}

QString newGuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}
} // namespace

bool AccountStore::load(QString *error)
{
    m_users.clear();
    QFile f(m_fileName);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(m_fileName, f.errorString());
        return false;
    }
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        *error = QStringLiteral("%1 is not a users file: %2").arg(m_fileName, pe.errorString());
        return false;
    }
    for (const QJsonValue &v : doc.object().value(QStringLiteral("users")).toArray()) {
        const QJsonObject o = v.toObject();
        User u;
        u.objectId = o.value(QStringLiteral("objectId")).toString();
        u.created = qint64(o.value(QStringLiteral("created")).toDouble());
        if (o.value(QStringLiteral("lastLogin")).isDouble())
            u.lastLogin = qint64(o.value(QStringLiteral("lastLogin")).toDouble());
        u.properties = o.value(QStringLiteral("properties")).toObject();
        u.salt = QByteArray::fromHex(o.value(QStringLiteral("salt")).toString().toLatin1());
        u.passwordHash
            = QByteArray::fromHex(o.value(QStringLiteral("passwordHash")).toString().toLatin1());
        m_users.append(u);
    }
    return true;
}

bool AccountStore::save(QString *error) const
{
    QJsonArray users;
    for (const User &u : m_users) {
        users.append(QJsonObject {{QStringLiteral("objectId"), u.objectId},
            {QStringLiteral("created"), double(u.created)},
            {QStringLiteral("lastLogin"),
                u.lastLogin ? QJsonValue(double(*u.lastLogin)) : QJsonValue()},
            {QStringLiteral("properties"), u.properties},
            {QStringLiteral("salt"), QString::fromLatin1(u.salt.toHex())},
            {QStringLiteral("passwordHash"), QString::fromLatin1(u.passwordHash.toHex())}});
    }
    QSaveFile f(m_fileName);
    if (!f.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(m_fileName, f.errorString());
        return false;
    }
    // Hashes are still worth keeping from other users of the machine.
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    f.write(QJsonDocument(QJsonObject {{QStringLiteral("users"), users}}).toJson());
    if (!f.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(m_fileName, f.errorString());
        return false;
    }
    return true;
}

int AccountStore::find(const QString &email) const
{
    for (int i = 0; i < m_users.size(); ++i) {
        const QString stored = m_users[i].properties.value(QStringLiteral("email")).toString();
        if (stored.compare(email, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool AccountStore::passwordMatches(int index, const QString &password) const
{
    const User &u = m_users.at(index);
    const QByteArray h = hashOf(u.salt, password);
    if (h.size() != u.passwordHash.size())
        return false;
    // Same time for every wrong password.
    unsigned char diff = 0;
    for (qsizetype i = 0; i < h.size(); ++i)
        diff |= static_cast<unsigned char>(h[i] ^ u.passwordHash[i]);
    return diff == 0;
}

int AccountStore::add(const QJsonObject &properties, const QString &password, qint64 now)
{
    User u;
    u.objectId = newGuid();
    u.created = now;
    u.properties = properties;
    u.salt = randomBytes(16);
    u.passwordHash = hashOf(u.salt, password);
    m_users.append(u);
    return int(m_users.size() - 1);
}

QJsonObject AccountStore::publicObject(int index) const
{
    const User &u = m_users.at(index);
    QJsonObject o = u.properties;
    // Every user has the columns of the Users table; a value never given is null.
    for (const char *column : {"email", "name"})
        if (!o.contains(QLatin1String(column)))
            o.insert(QLatin1String(column), QJsonValue());
    o.insert(QStringLiteral("objectId"), u.objectId);
    o.insert(QStringLiteral("ownerId"), u.objectId);
    o.insert(QStringLiteral("___class"), QStringLiteral("Users"));
    o.insert(QStringLiteral("created"), double(u.created));
    o.insert(QStringLiteral("updated"), QJsonValue());
    o.insert(
        QStringLiteral("lastLogin"), u.lastLogin ? QJsonValue(double(*u.lastLogin)) : QJsonValue());
    o.insert(QStringLiteral("userStatus"), QStringLiteral("ENABLED"));
    o.insert(QStringLiteral("socialAccount"), QStringLiteral("BACKENDLESS"));
    o.insert(QStringLiteral("blUserLocale"), QStringLiteral("en"));
    return o;
}
