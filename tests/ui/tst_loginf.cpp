#include "AccountServiceFixture.h"
#include "Controls.h"
#include "Dialogs.h"
#include "FaultServer.h"
#include "LoginU.h"
#include "TestHome.h"
#include "UiTestMain.h"
#include "qzBackendless.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <atomic>

class TstLoginF : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlsAndTexts();
    void tabOrder();
    void showingPrefillsAndStartsOnLogin();
    void blankFieldsDoNothing_data();
    void blankFieldsDoNothing();
    void registrationChecksInOrder_data();
    void registrationChecksInOrder();
    void passwordResetNeedsAnAddress();
    void escapeClosesEitherPage_data();
    void escapeClosesEitherPage();
    void enterStartsNothing();
    void closeAndCancel();

    // Against the local account service.
    void refusedThenAcceptedLogin();
    void loginShowsTheHourglass();
    void signUpAccepted_data();
    void signUpAccepted();
    void signUpRefusedKeepsThePage();
    void passwordResetSendsTheLowerCasedLoginAddress();
    void passwordResetRefused();

private:
    void needService();
    std::unique_ptr<AccountService> m_service;
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<DialogScript> m_dialogs;
    std::unique_ptr<TLoginF> m_f;
};

void TstLoginF::init()
{
    m_home = std::make_unique<TestHome>();
    OrvaloPath.clear();
    resetTagSettings();
    m_dialogs = std::make_unique<DialogScript>();
    m_f = std::make_unique<TLoginF>();
    LoginF = m_f.get();
}

void TstLoginF::needService()
{
    if (!m_service)
        m_service = std::make_unique<AccountService>();
    QVERIFY2(m_service->ok(), qPrintable(m_service->error()));
    qputenv("KESTRUN_ACCOUNTS_URL", m_service->baseUrl().toUtf8());
}

void TstLoginF::cleanup()
{
    qunsetenv("KESTRUN_ACCOUNTS_URL");
    m_service.reset(); // each test its own users file
    m_f.reset();
    m_dialogs.reset();
    m_home.reset();
}

void TstLoginF::controlsAndTexts()
{
    m_f->show();
    QCOMPARE(m_f->windowTitle(), QStringLiteral("LoginF"));
    QCOMPARE(m_f->size(), QSize(428, 464));
    QCOMPARE(m_f->Panel1->text(), QStringLiteral("Login to orvalo"));
    QCOMPARE(m_f->Panel1->height(), 41);
    QCOMPARE(m_f->pnLogin->text(), QStringLiteral("Login"));
    QCOMPARE(m_f->Panel2->text(), QStringLiteral("Close"));
    QCOMPARE(m_f->Panel3->text(), QStringLiteral("I'm a new user "));
    QCOMPARE(m_f->Panel4->text(), QStringLiteral("Forgot my Password"));
    QCOMPARE(m_f->btSignup->text(), QStringLiteral("Sign Up"));
    QCOMPARE(m_f->Button1->text(), QStringLiteral("Cancel"));
    QCOMPARE(m_f->Label1->text(),
        QStringLiteral("Please enter all information and click \"Register\"."));
    QCOMPARE(m_f->Label2->text(),
        QStringLiteral("You will receive a confirmation email to complete the registration. "));
    const QList<QPair<QLineEdit *, QString>> labels {{m_f->edEmail, "EMail"},
        {m_f->edPassword, "Password"}, {m_f->edRegEmail, "Your EMail address"},
        {m_f->edRegPassword, "Create a password"},
        {m_f->EdRegPasswordConfirm, "Enter password again to confirm"},
        {m_f->edRegName, "Your Name (First and Last)"}};
    for (const auto &[edit, text] : labels) {
        auto *label = m_f->findChild<QLabel *>(edit->objectName() + QStringLiteral("Label"));
        QVERIFY(label);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->buddy(), edit);
    }
    QCOMPARE(m_f->edPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(m_f->edRegPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(m_f->EdRegPasswordConfirm->echoMode(), QLineEdit::Password);
    QCOMPARE(m_f->edEmail->echoMode(), QLineEdit::Normal);
    m_f->edPassword->setText(QStringLiteral("abc"));
    QCOMPARE(m_f->edPassword->displayText(), QStringLiteral("***"));
    QCOMPARE(m_f->PageControl1->tabText(0), QStringLiteral("Login"));
    QCOMPARE(m_f->PageControl1->tabText(1), QStringLiteral("Register"));
    for (TClickPanel *p : {m_f->pnLogin, m_f->Panel3, m_f->Panel4})
        QCOMPARE(p->cursor().shape(), Qt::PointingHandCursor);
}

void TstLoginF::tabOrder()
{
    m_f->show();
    const auto walk = [&](QWidget *first, int steps) {
        QList<QWidget *> seen {first};
        first->setFocus();
        for (int i = 1; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget();
        }
        return seen;
    };
    QApplication::setActiveWindow(m_f.get());
    QCOMPARE(walk(m_f->edEmail, 7),
        (QList<QWidget *> {m_f->edEmail, m_f->edPassword, m_f->pnLogin, m_f->Panel2, m_f->Panel3,
            m_f->Panel4, m_f->edEmail}));
    m_f->Panel3Click();
    QCOMPARE(walk(m_f->edRegEmail, 7),
        (QList<QWidget *> {m_f->edRegEmail, m_f->edRegPassword, m_f->EdRegPasswordConfirm,
            m_f->btSignup, m_f->edRegName, m_f->Button1, m_f->edRegEmail}));
}

void TstLoginF::showingPrefillsAndStartsOnLogin()
{
    TagSettings.Email = QStringLiteral("ann@example.com");
    TagSettings.Password = QStringLiteral("Secret 1");
    m_f->show();
    QVERIFY(m_f->PageControl1->tabBar()->isHidden());
    QCOMPARE(m_f->PageControl1->currentWidget(), m_f->tbLogin);
    QCOMPARE(m_f->edEmail->text(), QStringLiteral("ann@example.com"));
    QCOMPARE(m_f->edPassword->text(), QStringLiteral("Secret 1"));
    QVERIFY(m_f->lbLoginResult->isHidden());
    // The next showing begins on the Login page again; Register keeps what was typed.
    QTest::mouseClick(m_f->Panel3, Qt::LeftButton);
    QCOMPARE(m_f->PageControl1->currentWidget(), m_f->tbRegister);
    QTest::keyClicks(m_f->edRegName, QStringLiteral("Ann Smith"));
    m_f->lbLoginResult->show();
    m_f->hide();
    TagSettings.Email = QStringLiteral("bob@example.com");
    m_f->show();
    QCOMPARE(m_f->PageControl1->currentWidget(), m_f->tbLogin);
    QCOMPARE(m_f->edEmail->text(), QStringLiteral("bob@example.com"));
    QVERIFY(m_f->lbLoginResult->isHidden());
    QCOMPARE(m_f->edRegName->text(), QStringLiteral("Ann Smith"));
}

void TstLoginF::blankFieldsDoNothing_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("password");
    QTest::newRow("both empty") << ""
                                << "";
    QTest::newRow("blank email") << "   "
                                 << "secret";
    QTest::newRow("blank password") << "ann@example.com"
                                    << "  ";
    QTest::newRow("empty password") << "ann@example.com"
                                    << "";
}

void TstLoginF::blankFieldsDoNothing()
{
    QFETCH(QString, email);
    QFETCH(QString, password);
    m_f->show();
    m_f->lbLoginResult->show(); // an earlier result is hidden first
    m_f->edEmail->setText(email);
    m_f->edPassword->setText(password);
    QTest::mouseClick(m_f->pnLogin, Qt::LeftButton);
    QVERIFY(m_f->lbLoginResult->isHidden());
    QVERIFY(m_dialogs->requests().empty());
    QVERIFY(m_f->isVisible());
}

void TstLoginF::registrationChecksInOrder_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    const QString email = QStringLiteral("new.farmer@example.com");
    QTest::newRow("invalid email before everything") << "not-an-address"
                                                     << ""
                                                     << "x"
                                                     << "Ann"
                                                     << "Valid Email required";
    QTest::newRow("empty passwords") << email << ""
                                     << ""
                                     << "Ann Smith"
                                     << "Passwords missing or dont match";
    QTest::newRow("case differs") << email << "Secret"
                                  << "secret"
                                  << "Ann Smith"
                                  << "Passwords missing or dont match";
    QTest::newRow("blank differs") << email << "Secret"
                                   << "Secret "
                                   << "Ann Smith"
                                   << "Passwords missing or dont match";
    QTest::newRow("password before name") << email << "a"
                                          << "b"
                                          << "Ann"
                                          << "Passwords missing or dont match";
    QTest::newRow("one word") << email << "Secret"
                              << "Secret"
                              << "Ann"
                              << "First and last name are required";
    QTest::newRow("one word in blanks") << email << "Secret"
                                        << "Secret"
                                        << "  Ann  "
                                        << "First and last name are required";
    QTest::newRow("empty name") << email << "Secret"
                                << "Secret"
                                << ""
                                << "First and last name are required";
}

void TstLoginF::registrationChecksInOrder()
{
    QFETCH(QString, email);
    QFETCH(QString, password);
    QFETCH(QString, confirm);
    QFETCH(QString, name);
    QFETCH(QString, message);
    m_f->show();
    m_f->Panel3Click();
    m_f->edRegEmail->setText(email);
    m_f->edRegPassword->setText(password);
    m_f->EdRegPasswordConfirm->setText(confirm);
    m_f->edRegName->setText(name);
    QTest::mouseClick(m_f->btSignup, Qt::LeftButton);
    QCOMPARE(m_dialogs->messages(), QStringList {message});
    QCOMPARE(m_f->PageControl1->currentWidget(), m_f->tbRegister);
    QCOMPARE(m_f->edRegName->text(), name);
}

void TstLoginF::passwordResetNeedsAnAddress()
{
    m_f->show();
    m_f->Panel3Click();
    m_f->edRegEmail->setText(QStringLiteral("ann@example.com")); // not the box it reads
    m_f->PageControl1->setCurrentWidget(m_f->tbLogin);
    m_f->edEmail->setText(QStringLiteral("ann at example"));
    QTest::mouseClick(m_f->Panel4, Qt::LeftButton);
    QCOMPARE(m_dialogs->messages(), QStringList {QStringLiteral("Enter your email above")});
}

void TstLoginF::escapeClosesEitherPage_data()
{
    QTest::addColumn<bool>("registerPage");
    QTest::newRow("Login page") << false;
    QTest::newRow("Register page") << true;
}

void TstLoginF::escapeClosesEitherPage()
{
    QFETCH(bool, registerPage);
    int result = -1;
    QTimer::singleShot(0, [&] {
        if (registerPage)
            QTest::mouseClick(m_f->Panel3, Qt::LeftButton);
        QLineEdit *focus = registerPage ? m_f->edRegName : m_f->edPassword;
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Escape);
    });
    result = m_f->exec();
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(!m_f->isVisible());
}

void TstLoginF::enterStartsNothing()
{
    m_f->show();
    m_f->Panel3Click();
    m_f->edRegEmail->setText(QStringLiteral("bad"));
    for (QLineEdit *e : {m_f->edRegEmail, m_f->edRegName}) {
        QTest::keyClick(e, Qt::Key_Return);
        QTest::keyClick(e, Qt::Key_Enter);
    }
    QVERIFY(m_f->isVisible());
    QVERIFY(m_dialogs->requests().empty());
    m_f->PageControl1->setCurrentWidget(m_f->tbLogin);
    m_f->edEmail->setText(QStringLiteral("ann@example.com"));
    m_f->edPassword->setText(QStringLiteral("secret"));
    QTest::keyClick(m_f->edPassword, Qt::Key_Return);
    QVERIFY(m_f->lbLoginResult->isHidden());
    QVERIFY(m_f->isVisible());
}

void TstLoginF::closeAndCancel()
{
    QTimer::singleShot(0, [&] { QTest::mouseClick(m_f->Panel2, Qt::LeftButton); });
    QCOMPARE(m_f->exec(), int(QDialog::Accepted));
    QTimer::singleShot(0, [&] {
        m_f->Panel3Click();
        QTest::mouseClick(m_f->Button1, Qt::LeftButton);
    });
    QCOMPARE(m_f->exec(), int(QDialog::Rejected));
}

namespace {
QColor textColour(const QLabel *l)
{
    return l->palette().color(QPalette::WindowText);
}
} // namespace

void TstLoginF::refusedThenAcceptedLogin()
{
    needService();
    QCOMPARE(BackendlessRegister(QStringLiteral("ann@example.com"), QStringLiteral("Right 1"),
                 QStringLiteral("Ann Smith"), QStringLiteral("tag")),
        QString());
    m_f->show();
    m_f->edEmail->setText(QStringLiteral("ann@example.com"));
    m_f->edPassword->setText(QStringLiteral("wrong"));
    QTest::mouseClick(m_f->pnLogin, Qt::LeftButton);
    QVERIFY(m_f->lbLoginResult->isVisible());
    QCOMPARE(m_f->lbLoginResult->text(), QStringLiteral("Invalid login or password."));
    QCOMPARE(textColour(m_f->lbLoginResult), QColor(255, 0, 0));
    QVERIFY(TagSettings.Email.isEmpty());

    // The second click hides the red text before the service answers.
    bool hiddenFirst = false;
    QString textWhenHidden;
    struct HideSpy : QObject
    {
        std::function<void()> f;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Hide)
                f();
            return false;
        }
    } spy;
    spy.f = [&] {
        hiddenFirst = true;
        textWhenHidden = m_f->lbLoginResult->text();
    };
    m_f->lbLoginResult->installEventFilter(&spy);
    m_f->edPassword->setText(QStringLiteral("Right 1"));
    QTest::mouseClick(m_f->pnLogin, Qt::LeftButton);
    m_f->lbLoginResult->removeEventFilter(&spy);
    QVERIFY(hiddenFirst);
    QCOMPARE(textWhenHidden, QStringLiteral("Invalid login or password."));
    QVERIFY(m_f->lbLoginResult->isVisible());
    QCOMPARE(m_f->lbLoginResult->text(), QStringLiteral("Login Successful"));
    QCOMPARE(textColour(m_f->lbLoginResult), QColor(0, 128, 0));
    QVERIFY(m_dialogs->requests().empty()); // no message box for a log-in
    QVERIFY(m_f->isVisible()); // the user closes it
    QCOMPARE(TagSettings.Email, QStringLiteral("ann@example.com"));
    QCOMPARE(TagSettings.Name, QStringLiteral("Ann Smith"));

    // Shown again: the account just used, no result.
    m_f->hide();
    m_f->show();
    QCOMPARE(m_f->edEmail->text(), QStringLiteral("ann@example.com"));
    QCOMPARE(m_f->edPassword->text(), QStringLiteral("Right 1"));
    QVERIFY(m_f->lbLoginResult->isHidden());
    resetTagSettings();
    TagSettings.Load();
    QVERIFY(!TagSettings.NewUser);
}

void TstLoginF::loginShowsTheHourglass()
{
    FaultServer server;
    std::atomic<bool> hourglass = false;
    server.setHandler([&](const httplib::Request &, httplib::Response &res) {
        // The window is blocked in the call; only its cursor is looked at.
        const QCursor *c = QGuiApplication::overrideCursor();
        hourglass = c && c->shape() == Qt::WaitCursor;
        res.status = 401;
        res.set_content(
            R"({"code":3003,"message":"Invalid login or password."})", "application/json");
    });
    qputenv("KESTRUN_ACCOUNTS_URL", server.url() + "/APP/KEY");
    m_f->show();
    m_f->edEmail->setText(QStringLiteral("ann@example.com"));
    m_f->edPassword->setText(QStringLiteral("x"));
    QTest::mouseClick(m_f->pnLogin, Qt::LeftButton);
    QCOMPARE(server.requests().size(), size_t(1));
    QVERIFY(hourglass);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QCOMPARE(m_f->lbLoginResult->text(), QStringLiteral("Invalid login or password."));
}

void TstLoginF::signUpAccepted_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("two words, two blanks") << "Ann  Smith";
    QTest::newRow("three words") << "Ann B Smith";
}

void TstLoginF::signUpAccepted()
{
    QFETCH(QString, name);
    needService();
    m_f->show();
    QTest::mouseClick(m_f->Panel3, Qt::LeftButton);
    const QString email = QStringLiteral("new.farmer@example.com");
    QTest::keyClicks(m_f->edRegEmail, email);
    QTest::keyClicks(m_f->edRegPassword, QStringLiteral("Pw 1"));
    QTest::keyClicks(m_f->EdRegPasswordConfirm, QStringLiteral("Pw 1"));
    QTest::keyClicks(m_f->edRegName, name);
    QTest::mouseClick(m_f->btSignup, Qt::LeftButton);
    QCOMPARE(m_dialogs->messages(),
        QStringList {QStringLiteral("Registration created. Open the confirmation email (might be "
                                    "in your spam or junk folder) and click the confirmation "
                                    "link.")});
    const QJsonObject props
        = m_service->storedUser(email).value(QStringLiteral("properties")).toObject();
    QCOMPARE(props.value(QStringLiteral("name")).toString(), name);
    QCOMPARE(props.value(QStringLiteral("partnerid")).toString(), QStringLiteral("tag"));
    // Back on the Login page with the new account filled in, not yet logged in.
    QCOMPARE(m_f->PageControl1->currentWidget(), m_f->tbLogin);
    QCOMPARE(m_f->edEmail->text(), email);
    QCOMPARE(m_f->edPassword->text(), QStringLiteral("Pw 1"));
    QVERIFY(TagSettings.Email.isEmpty());
    QVERIFY(m_f->lbLoginResult->isHidden());
}

void TstLoginF::signUpRefusedKeepsThePage()
{
    needService();
    QCOMPARE(BackendlessRegister(QStringLiteral("ann@example.com"), QStringLiteral("a"),
                 QStringLiteral("Ann Smith"), QStringLiteral("tag")),
        QString());
    m_f->show();
    m_f->Panel3Click();
    m_f->edRegEmail->setText(QStringLiteral("ann@example.com"));
    m_f->edRegPassword->setText(QStringLiteral("b"));
    m_f->EdRegPasswordConfirm->setText(QStringLiteral("b"));
    m_f->edRegName->setText(QStringLiteral("Ann Other"));
    QTest::mouseClick(m_f->btSignup, Qt::LeftButton);
    const QStringList shown = m_dialogs->messages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first(),
        BackendlessRegister(QStringLiteral("ann@example.com"), QStringLiteral("b"),
            QStringLiteral("Ann Other"), "tag"));
    QVERIFY(!shown.first().isEmpty());
    QCOMPARE(m_f->PageControl1->currentWidget(), m_f->tbRegister);
    QCOMPARE(m_f->edRegName->text(), QStringLiteral("Ann Other"));
    QVERIFY(m_f->edEmail->text().isEmpty());
}

void TstLoginF::passwordResetSendsTheLowerCasedLoginAddress()
{
    needService();
    QCOMPARE(BackendlessRegister(QStringLiteral("ann@example.com"), QStringLiteral("a"),
                 QStringLiteral("Ann Smith"), QStringLiteral("tag")),
        QString());
    m_f->show();
    m_f->Panel3Click();
    m_f->edRegEmail->setText(QStringLiteral("other@example.com"));
    m_f->PageControl1->setCurrentWidget(m_f->tbLogin);
    m_f->edEmail->setText(QStringLiteral("ANN@Example.COM"));
    QTest::mouseClick(m_f->Panel4, Qt::LeftButton);
    QCOMPARE(m_dialogs->messages(),
        QStringList {QStringLiteral("Check your email - including your spam or junk folder - for "
                                    "the password reset link")});

    // What reached the service: the Login page's address, lower-cased.
    FaultServer server;
    server.setHandler(FaultServer::status(200, ""));
    qputenv("KESTRUN_ACCOUNTS_URL", server.url() + "/APP/KEY");
    QTest::mouseClick(m_f->Panel4, Qt::LeftButton);
    QCOMPARE(server.requests().size(), size_t(1));
    QCOMPARE(QString::fromStdString(server.requests().front().path),
        QStringLiteral("/APP/KEY/users/restorepassword/ann@example.com"));
}

void TstLoginF::passwordResetRefused()
{
    needService();
    m_f->show();
    m_f->edEmail->setText(QStringLiteral("nobody@example.com"));
    QTest::mouseClick(m_f->Panel4, Qt::LeftButton);
    const QString reason = BackendlessRestorePassword(QStringLiteral("nobody@example.com"));
    QVERIFY(!reason.isEmpty());
    QCOMPARE(m_dialogs->messages(), QStringList {QStringLiteral("Error : ") + reason});
}

KESTRUN_UI_TEST_MAIN(TstLoginF)
#include "tst_loginf.moc"
