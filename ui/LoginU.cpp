#include "LoginU.h"

#include "Controls.h"
#include "Dialogs.h"
#include "TApplication.h"
#include "qzBackendless.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

TLoginF *LoginF = nullptr;

namespace {
// The hourglass for as long as a service call blocks the window.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

const char *const kStyle = R"(
#LoginF, #tbLogin, #tbRegister { background: #ffffff; }
#Panel1 { background: #000000; color: #ffffff; font-weight: bold; font-size: 15px; }
TClickPanel { border: 1px solid #9a9a9a; border-radius: 3px; background: #f4f4f4; color: #000000; }
TClickPanel:hover { background: #e6eef8; }
TClickPanel:focus { border: 1px solid #3070c0; }
#pnLogin { background: #000000; color: #ffffff; font-weight: bold; }
#pnLogin:hover { background: #303030; }
#PageControl1::pane { border: 0; }
#edPassword, #edRegPassword, #EdRegPasswordConfirm { lineedit-password-character: 42; }
)";

QLineEdit *labelledEdit(
    QWidget *page, QVBoxLayout *l, const char *name, const QString &label, bool password)
{
    auto *lb = new QLabel(label, page);
    lb->setObjectName(QLatin1String(name) + QStringLiteral("Label"));
    auto *ed = new QLineEdit(page);
    ed->setObjectName(QLatin1String(name));
    ed->setFixedHeight(26);
    if (password)
        ed->setEchoMode(QLineEdit::Password);
    lb->setBuddy(ed);
    l->addWidget(lb);
    l->addWidget(ed);
    l->addSpacing(6);
    return ed;
}

TClickPanel *borderedPanel(QWidget *page, const char *name, const QString &caption)
{
    auto *p = new TClickPanel(caption, page);
    p->setObjectName(QLatin1String(name));
    p->setAlignment(Qt::AlignCenter);
    p->setFixedHeight(34);
    p->setFocusPolicy(Qt::TabFocus);
    return p;
}
} // namespace

QString registrationProblem(
    const QString &email, const QString &password, const QString &confirmation, const QString &name)
{
    if (!IsValidEmail(email))
        return QStringLiteral("Valid Email required");
    if (password.isEmpty() || password != confirmation)
        return QStringLiteral("Passwords missing or dont match");
    if (GetTokenCount(name, QStringLiteral(" ")) < 2)
        return QStringLiteral("First and last name are required");
    return {};
}

TLoginF::TLoginF(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("LoginF"));
    setWindowTitle(QStringLiteral("LoginF"));
    setAttribute(Qt::WA_StyledBackground);
    setFont(windowFont(QStringLiteral("Segoe UI"), 13));
    setFixedSize(428, 464);
    setModal(true);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    Panel1 = new QLabel(QStringLiteral("Login to orvalo"), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setFixedHeight(41);
    outer->addWidget(Panel1);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setDocumentMode(true);
    // Pages change only by the panels, never by Tab into the page control.
    PageControl1->setFocusPolicy(Qt::NoFocus);
    PageControl1->tabBar()->setFocusPolicy(Qt::NoFocus);
    outer->addWidget(PageControl1, 1);
    buildLoginPage();
    buildRegisterPage();
    setStyleSheet(QString::fromLatin1(kStyle));

    QWidget::setTabOrder(edEmail, edPassword);
    QWidget::setTabOrder(edPassword, pnLogin);
    QWidget::setTabOrder(pnLogin, Panel2);
    QWidget::setTabOrder(Panel2, Panel3);
    QWidget::setTabOrder(Panel3, Panel4);
    QWidget::setTabOrder(Panel4, edRegEmail);
    QWidget::setTabOrder(edRegEmail, edRegPassword);
    QWidget::setTabOrder(edRegPassword, EdRegPasswordConfirm);
    QWidget::setTabOrder(EdRegPasswordConfirm, btSignup);
    QWidget::setTabOrder(btSignup, edRegName);
    QWidget::setTabOrder(edRegName, Button1);

    installEventFilter(this);
    for (QWidget *w : findChildren<QWidget *>())
        w->installEventFilter(this);
}

TLoginF::~TLoginF()
{
    if (LoginF == this)
        LoginF = nullptr;
}

void TLoginF::buildLoginPage()
{
    tbLogin = new QWidget;
    tbLogin->setObjectName(QStringLiteral("tbLogin"));
    tbLogin->setAttribute(Qt::WA_StyledBackground);
    PageControl1->addTab(tbLogin, QStringLiteral("Login"));
    auto *l = new QVBoxLayout(tbLogin);
    l->setContentsMargins(64, 22, 64, 18);
    l->setSpacing(3);
    edEmail = labelledEdit(tbLogin, l, "edEmail", QStringLiteral("EMail"), false);
    edPassword = labelledEdit(tbLogin, l, "edPassword", QStringLiteral("Password"), true);
    l->addSpacing(4);
    pnLogin = borderedPanel(tbLogin, "pnLogin", QStringLiteral("Login"));
    l->addWidget(pnLogin);
    lbLoginResult = new QLabel(tbLogin);
    lbLoginResult->setObjectName(QStringLiteral("lbLoginResult"));
    lbLoginResult->setAlignment(Qt::AlignCenter);
    lbLoginResult->setWordWrap(true);
    lbLoginResult->setMinimumHeight(36);
    l->addWidget(lbLoginResult);
    Panel2 = borderedPanel(tbLogin, "Panel2", QStringLiteral("Close"));
    Panel2->setCursor(Qt::ArrowCursor);
    l->addWidget(Panel2);
    l->addStretch(1);
    Panel3 = borderedPanel(tbLogin, "Panel3", QStringLiteral("I'm a new user "));
    l->addWidget(Panel3);
    l->addSpacing(8);
    Panel4 = borderedPanel(tbLogin, "Panel4", QStringLiteral("Forgot my Password"));
    l->addWidget(Panel4);

    connect(pnLogin, &TClickPanel::clicked, this, &TLoginF::pnLoginClick);
    connect(Panel2, &TClickPanel::clicked, this, &TLoginF::Panel2Click);
    connect(Panel3, &TClickPanel::clicked, this, &TLoginF::Panel3Click);
    connect(Panel4, &TClickPanel::clicked, this, &TLoginF::Panel4Click);
}

void TLoginF::buildRegisterPage()
{
    tbRegister = new QWidget;
    tbRegister->setObjectName(QStringLiteral("tbRegister"));
    tbRegister->setAttribute(Qt::WA_StyledBackground);
    PageControl1->addTab(tbRegister, QStringLiteral("Register"));
    auto *l = new QVBoxLayout(tbRegister);
    l->setContentsMargins(64, 14, 64, 14);
    l->setSpacing(3);
    Label1 = new QLabel(
        QStringLiteral("Please enter all information and click \"Register\"."), tbRegister);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    l->addWidget(Label1);
    l->addSpacing(6);
    edRegEmail
        = labelledEdit(tbRegister, l, "edRegEmail", QStringLiteral("Your EMail address"), false);
    edRegPassword
        = labelledEdit(tbRegister, l, "edRegPassword", QStringLiteral("Create a password"), true);
    EdRegPasswordConfirm = labelledEdit(tbRegister, l, "EdRegPasswordConfirm",
        QStringLiteral("Enter password again to confirm"), true);
    edRegName = labelledEdit(
        tbRegister, l, "edRegName", QStringLiteral("Your Name (First and Last)"), false);
    Label2 = new QLabel(
        QStringLiteral("You will receive a confirmation email to complete the registration. "),
        tbRegister);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    l->addWidget(Label2);
    l->addSpacing(4);
    auto *buttons = new QHBoxLayout;
    btSignup = new QPushButton(QStringLiteral("Sign Up"), tbRegister);
    btSignup->setObjectName(QStringLiteral("btSignup"));
    Button1 = new QPushButton(QStringLiteral("Cancel"), tbRegister);
    Button1->setObjectName(QStringLiteral("Button1"));
    // Enter starts nothing: no button is the default one.
    for (QPushButton *b : {btSignup, Button1}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setFixedHeight(30);
    }
    buttons->addWidget(btSignup);
    buttons->addWidget(Button1);
    l->addLayout(buttons);
    l->addStretch(1);

    connect(btSignup, &QPushButton::clicked, this, &TLoginF::btSignupClick);
    connect(Button1, &QPushButton::clicked, this, &TLoginF::Button1Click);
}

void TLoginF::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormShow();
}

void TLoginF::FormShow()
{
    PageControl1->tabBar()->hide();
    PageControl1->setCurrentWidget(tbLogin);
    edEmail->setText(TagSettings.Email);
    edPassword->setText(TagSettings.Password);
    lbLoginResult->hide();
}

bool TLoginF::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && FormKeyPress(static_cast<QKeyEvent *>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

bool TLoginF::FormKeyPress(QKeyEvent *e)
{
    if (e->key() != Qt::Key_Escape)
        return false;
    reject();
    return true;
}

void TLoginF::keyPressEvent(QKeyEvent *e)
{
    // Enter and Return do nothing here; QDialog would press a default button.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TLoginF::pnLoginClick()
{
    lbLoginResult->hide();
    const QString email = edEmail->text();
    const QString password = edPassword->text();
    if (email.trimmed().isEmpty() || password.trimmed().isEmpty())
        return;
    QString result;
    {
        WaitCursor wait;
        result = BackendlessLogon(email, password);
    }
    QPalette pal = lbLoginResult->palette();
    if (result.isEmpty()) {
        lbLoginResult->setText(QStringLiteral("Login Successful"));
        pal.setColor(QPalette::WindowText, QColor(0, 128, 0));
    } else {
        lbLoginResult->setText(result);
        pal.setColor(QPalette::WindowText, QColor(255, 0, 0));
    }
    lbLoginResult->setPalette(pal);
    lbLoginResult->show();
}

void TLoginF::Panel2Click()
{
    accept();
}

void TLoginF::Panel3Click()
{
    PageControl1->setCurrentWidget(tbRegister);
}

void TLoginF::Panel4Click()
{
    DoRestorePassword();
}

void TLoginF::DoRestorePassword()
{
    const QString email = edEmail->text().toLower();
    if (!IsValidEmail(email)) {
        ShowMessage(QStringLiteral("Enter your email above"));
        return;
    }
    QString result;
    {
        WaitCursor wait;
        result = BackendlessRestorePassword(email);
    }
    if (result.isEmpty())
        ShowMessage(QStringLiteral("Check your email - including your spam or junk folder - for "
                                   "the password reset link"));
    else
        ShowMessage(QStringLiteral("Error : ") + result);
}

bool TLoginF::RegistrationReady()
{
    const QString problem = registrationProblem(
        edRegEmail->text(), edRegPassword->text(), EdRegPasswordConfirm->text(), edRegName->text());
    if (problem.isEmpty())
        return true;
    ShowMessage(problem);
    return false;
}

void TLoginF::btSignupClick()
{
    if (!RegistrationReady())
        return;
    QString result;
    {
        WaitCursor wait;
        result = BackendlessRegister(
            edRegEmail->text(), edRegPassword->text(), edRegName->text(), QStringLiteral("tag"));
    }
    if (!result.isEmpty()) {
        ShowMessage(result);
        return;
    }
    ShowMessage(QStringLiteral("Registration created. Open the confirmation email (might be in "
                               "your spam or junk folder) and click the confirmation link."));
    edEmail->setText(edRegEmail->text());
    edPassword->setText(edRegPassword->text());
    PageControl1->setCurrentWidget(tbLogin);
}

void TLoginF::Button1Click()
{
    reject();
}

void DoLogin()
{
    if (!LoginF)
        LoginF = new TLoginF;
    LoginF->exec();
}
