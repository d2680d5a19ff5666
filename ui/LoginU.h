#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class TClickPanel;

// The first failed check of the Register page's input, in the order the page asks for it;
// empty when all pass.
QString registrationProblem(const QString &email, const QString &password,
    const QString &confirmation, const QString &name);

class TLoginF : public QDialog
{
    Q_OBJECT
public:
    explicit TLoginF(QWidget *parent = nullptr);
    ~TLoginF() override;

    QLabel *Panel1 = nullptr; // header
    QLineEdit *edEmail = nullptr;
    QLineEdit *edPassword = nullptr;
    TClickPanel *pnLogin = nullptr;
    QLabel *lbLoginResult = nullptr;
    TClickPanel *Panel2 = nullptr; // "Close"
    QTabWidget *PageControl1 = nullptr;
    QWidget *tbLogin = nullptr;
    QWidget *tbRegister = nullptr;
    QLineEdit *edRegEmail = nullptr;
    QLineEdit *edRegPassword = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *EdRegPasswordConfirm = nullptr;
    QPushButton *btSignup = nullptr;
    QLineEdit *edRegName = nullptr;
    TClickPanel *Panel3 = nullptr; // "I'm a new user "
    QPushButton *Button1 = nullptr; // "Cancel"
    QLabel *Label2 = nullptr;
    TClickPanel *Panel4 = nullptr; // "Forgot my Password"

public slots:
    void FormShow();
    void pnLoginClick();
    void Panel2Click();
    void Panel3Click();
    void Panel4Click();
    void DoRestorePassword();
    bool RegistrationReady();
    void btSignupClick();
    void Button1Click();

protected:
    void showEvent(QShowEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Key preview: the form sees each key press before the focused control does.
    bool FormKeyPress(QKeyEvent *e);
    void buildLoginPage();
    void buildRegisterPage();
};

extern TLoginF *LoginF;

// Shows LoginF modally; returns when it closes, however it was closed.
void DoLogin();
