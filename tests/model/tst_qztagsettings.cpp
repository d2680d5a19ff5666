#include "TestHome.h"
#include "qzConfig.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestQzTagSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void defaultsWithoutFile();
    void emailWithoutPassword();
    void admin_data();
    void admin();
    void saveLoadRoundTrip_data();
    void saveLoadRoundTrip();
    void saveKeepsOtherKeysAndOrder();
    void garbageFile();
    void fileIsPrivate();
    void unwritableFileRaises();

private:
    QString readFile() const;
    void writeFile(const QByteArray &text) const;
    std::unique_ptr<TestHome> m_home;
};

void TestQzTagSettings::init()
{
    m_home = std::make_unique<TestHome>();
    OrvaloPath.clear();
    resetTagSettings();
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
}

void TestQzTagSettings::cleanup()
{
    OrvaloPath.clear();
    m_home.reset();
}

QString TestQzTagSettings::readFile() const
{
    QFile f(tagSettingsFileName());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void TestQzTagSettings::writeFile(const QByteArray &text) const
{
    QFile f(tagSettingsFileName());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

void TestQzTagSettings::defaultsWithoutFile()
{
    TagSettings.Load();
    QVERIFY(TagSettings.Email.isEmpty());
    QVERIFY(TagSettings.Password.isEmpty());
    QVERIFY(TagSettings.Name.isEmpty());
    QVERIFY(TagSettings.ScanDateFormat.isEmpty());
    QCOMPARE(TagSettings.LastLogin, encodeDate(2017, 12, 31));
    QCOMPARE(TagSettings.LastSync, encodeDate(2017, 12, 31));
    QVERIFY(TagSettings.NewUser);
    QVERIFY(!TagSettings.Admin);
    QCOMPARE(TagSettings.TagBaseDate, 43101.0);
}

void TestQzTagSettings::emailWithoutPassword()
{
    writeFile("[TagSettings]\nEmail=farmer@example.com\n");
    TagSettings.Load();
    QCOMPARE(TagSettings.Email, QStringLiteral("farmer@example.com"));
    QVERIFY(TagSettings.NewUser);
}

void TestQzTagSettings::admin_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("admin");
    QTest::newRow("admin value") << QByteArray("Admin=" + QByteArray::number(KESTRUN_ADMIN_VALUE))
                                 << true;
    QTest::newRow("other number") << QByteArray("Admin=1") << false;
    QTest::newRow("word") << QByteArray("Admin=yes") << false;
    QTest::newRow("missing") << QByteArray() << false;
}

void TestQzTagSettings::admin()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, admin);
    writeFile("[TagSettings]\n" + line + "\n");
    TagSettings.Load();
    QCOMPARE(TagSettings.Admin, admin);
    TagSettings.Save();
    QCOMPARE(readFile().contains(QString::fromLatin1(line)), true);
}

void TestQzTagSettings::saveLoadRoundTrip_data()
{
    QTest::addColumn<QString>("locale");
    QTest::newRow("en_US") << "en_US";
    QTest::newRow("de_DE") << "de_DE";
    QTest::newRow("fi_FI") << "fi_FI";
    QTest::newRow("ja_JP") << "ja_JP";
}

void TestQzTagSettings::saveLoadRoundTrip()
{
    QFETCH(QString, locale);
    QLocale::setDefault(QLocale(locale));
    TagSettings.Email = QStringLiteral("Farmer.Jo@Example.com");
    TagSettings.Password = QStringLiteral("pä\"ss=w;rd");
    TagSettings.Name = QStringLiteral("Jo Smith");
    TagSettings.ScanDateFormat = QStringLiteral("dd/mm/yyyy hh:nn");
    TagSettings.LastLogin = encodeDate(2026, 12, 11) + (15 * 3600 + 4 * 60 + 5.4) / 86400;
    TagSettings.LastSync = encodeDate(2026, 3, 1); // exactly midnight
    TagSettings.Save();
    const QString text = readFile();
    QVERIFY(!text.contains(QStringLiteral("pä")));
    QVERIFY(text.contains(
        QStringLiteral("Password=") + EncryptStr(TagSettings.Password, KESTRUN_SETTINGS_KEY)));

    resetTagSettings();
    TagSettings.Load();
    QCOMPARE(TagSettings.Email, QStringLiteral("Farmer.Jo@Example.com"));
    QCOMPARE(TagSettings.Password, QStringLiteral("pä\"ss=w;rd"));
    QCOMPARE(TagSettings.Name, QStringLiteral("Jo Smith"));
    QCOMPARE(TagSettings.ScanDateFormat, QStringLiteral("dd/mm/yyyy hh:nn"));
    QCOMPARE(TagSettings.LastLogin, encodeDate(2026, 12, 11) + (15 * 3600 + 4 * 60 + 5) / 86400.0);
    QCOMPARE(TagSettings.LastSync, encodeDate(2026, 3, 1));
    QVERIFY(!TagSettings.NewUser);
}

void TestQzTagSettings::saveKeepsOtherKeysAndOrder()
{
    writeFile("; kept comment\r\n[Other]\r\nColour=blue\r\n\r\n[tagsettings]\r\nAdmin=5\r\n"
              "Email=old@example.com\r\nExtra=1\r\n");
    TagSettings.Load();
    TagSettings.Email = QStringLiteral("new@example.com");
    TagSettings.Save();
    const QStringList lines = readFile().split(QLatin1Char('\n'));
    QCOMPARE(lines.mid(0, 6),
        (QStringList {"; kept comment", "[Other]", "Colour=blue", "", "[tagsettings]", "Admin=5"}));
    QCOMPARE(lines[6], QStringLiteral("Email=new@example.com"));
    QCOMPARE(lines[7], QStringLiteral("Extra=1"));
    QVERIFY(lines[8].startsWith(QStringLiteral("Password=")));
    QVERIFY(lines[9].startsWith(QStringLiteral("Name=")));
    QVERIFY(lines[10].startsWith(QStringLiteral("ScanDateFormat=")));
    QVERIFY(lines[11].startsWith(QStringLiteral("LastLogin=")));
    QVERIFY(lines[12].startsWith(QStringLiteral("LastSync=")));
}

void TestQzTagSettings::garbageFile()
{
    writeFile("\x01\x02 not ini at all\n=\n[TagSettings\nEmail\n[TagSettings]\nPassword=XYZ\n"
              "LastLogin=yesterday\nLastSync=31/31/2099\n\xff\xfe\n");
    TagSettings.Load();
    QVERIFY(TagSettings.Password.isEmpty());
    QVERIFY(TagSettings.NewUser);
    QCOMPARE(TagSettings.LastLogin, encodeDate(2017, 12, 31));
    QCOMPARE(TagSettings.LastSync, encodeDate(2017, 12, 31));
}

void TestQzTagSettings::fileIsPrivate()
{
    TagSettings.Save();
    QCOMPARE(QFile::permissions(tagSettingsFileName())
            & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup
                | QFileDevice::WriteOther),
        QFileDevice::Permissions());
}

void TestQzTagSettings::unwritableFileRaises()
{
    SetOrvaloPath();
    QFile::remove(OrvaloPath.chopped(1));
    QDir(OrvaloPath).removeRecursively();
    QFile blocker(OrvaloPath.chopped(1)); // a file where the folder should be
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY_THROWS_EXCEPTION(ESettingsWriteError, TagSettings.Save());
    TagSettings.Load(); // and reading gives the defaults
    QVERIFY(TagSettings.NewUser);
}

QTEST_GUILESS_MAIN(TestQzTagSettings)
#include "tst_qztagsettings.moc"
