#pragma once

#include <QString>
#include <QStringList>

// A line-preserving INI file: keys and sections it does not touch, comments and order survive
// a save. Sections and keys match without regard to case, as INI readers do.
class IniFile
{
public:
    explicit IniFile(QString fileName);

    // A missing or unreadable file reads as empty.
    void load();
    QString value(
        const QString &section, const QString &key, const QString &defaultValue = QString()) const;
    void setValue(const QString &section, const QString &key, const QString &value);
    // Writes the whole file at once (never half-written), readable by the user only.
    bool save(QString *error = nullptr) const;

private:
    qsizetype findSection(const QString &section) const;
    qsizetype sectionEnd(qsizetype header) const;
    qsizetype findKey(qsizetype header, const QString &key) const;

    QString m_fileName;
    QStringList m_lines;
};
