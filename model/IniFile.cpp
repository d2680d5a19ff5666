#include "IniFile.h"

#include <QFile>
#include <QSaveFile>

namespace {
bool isSectionLine(const QString &trimmed)
{
    return trimmed.startsWith(QLatin1Char('[')) && trimmed.contains(QLatin1Char(']'));
}

QString sectionName(const QString &trimmed)
{
    return trimmed.mid(1, trimmed.indexOf(QLatin1Char(']')) - 1).trimmed();
}

QString keyOf(const QString &line)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : line.left(eq).trimmed();
}
} // namespace

IniFile::IniFile(QString fileName) : m_fileName(std::move(fileName)) { }

void IniFile::load()
{
    m_lines.clear();
    QFile f(m_fileName);
    if (!f.open(QIODevice::ReadOnly))
        return;
    QString text = QString::fromUtf8(f.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_lines = text.split(QLatin1Char('\n'));
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
}

qsizetype IniFile::findSection(const QString &section) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QString t = m_lines[i].trimmed();
        if (isSectionLine(t) && sectionName(t).compare(section, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

qsizetype IniFile::sectionEnd(qsizetype header) const
{
    qsizetype i = header + 1;
    while (i < m_lines.size() && !isSectionLine(m_lines[i].trimmed()))
        ++i;
    return i;
}

qsizetype IniFile::findKey(qsizetype header, const QString &key) const
{
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const QString t = m_lines[i].trimmed();
        if (t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#')))
            continue;
        if (keyOf(t).compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString IniFile::value(
    const QString &section, const QString &key, const QString &defaultValue) const
{
    const qsizetype header = findSection(section);
    if (header < 0)
        return defaultValue;
    const qsizetype line = findKey(header, key);
    if (line < 0)
        return defaultValue;
    const QString &l = m_lines[line];
    QString v = l.mid(l.indexOf(QLatin1Char('=')) + 1).trimmed();
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

void IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    // A line break inside a value would start a new line of the file.
    QString v = value;
    v.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString line = key + QLatin1Char('=') + v;
    qsizetype header = findSection(section);
    if (header < 0) {
        if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty())
            m_lines.append(QString());
        m_lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        m_lines.append(line);
        return;
    }
    const qsizetype existing = findKey(header, key);
    if (existing >= 0) {
        m_lines[existing] = line;
        return;
    }
    qsizetype at = sectionEnd(header);
    while (at > header + 1 && m_lines[at - 1].trimmed().isEmpty())
        --at;
    m_lines.insert(at, line);
}

bool IniFile::save(QString *error) const
{
    QSaveFile f(m_fileName);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(m_fileName, f.errorString());
        return false;
    }
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QByteArray data;
    for (const QString &l : m_lines)
        data += l.toUtf8() + '\n';
    f.write(data);
    if (!f.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(m_fileName, f.errorString());
        return false;
    }
    return true;
}
