#include "Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {
DialogResponder &responder()
{
    static DialogResponder r;
    return r;
}

QWidget *dialogParent()
{
    return QApplication::activeWindow();
}

QString title()
{
    return QApplication::applicationName();
}
} // namespace

void setDialogResponder(DialogResponder r)
{
    responder() = std::move(r);
}

void ShowMessage(const QString &text)
{
    if (responder()) {
        responder()({DialogKind::Message, title(), text, {}, {}});
        return;
    }
    QMessageBox::information(dialogParent(), title(), text);
}

void ShowError(const QString &text)
{
    if (responder()) {
        responder()({DialogKind::Error, title(), text, {}, {}});
        return;
    }
    QMessageBox::critical(dialogParent(), title(), text);
}

bool MessageDlgYesNo(const QString &text)
{
    if (responder())
        return responder()({DialogKind::YesNo, title(), text, {}, {}}).accepted;
    return QMessageBox::question(
               dialogParent(), title(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

bool InputQuery(const QString &caption, const QString &prompt, QString &value)
{
    if (responder()) {
        const DialogAnswer a = responder()({DialogKind::Input, caption, prompt, value, {}});
        if (a.accepted)
            value = a.value;
        return a.accepted;
    }
    bool ok = false;
    const QString typed
        = QInputDialog::getText(dialogParent(), caption, prompt, QLineEdit::Normal, value, &ok);
    if (ok)
        value = typed;
    return ok;
}

QString PromptOpenFileName(const QString &caption, const QString &filter)
{
    if (responder()) {
        const DialogAnswer a = responder()({DialogKind::OpenFile, caption, {}, {}, filter});
        return a.accepted ? a.value : QString();
    }
    return QFileDialog::getOpenFileName(dialogParent(), caption, QString(), filter);
}

QString PromptSaveFileName(const QString &caption, const QString &fileName, const QString &filter)
{
    if (responder()) {
        const DialogAnswer a = responder()({DialogKind::SaveFile, caption, {}, fileName, filter});
        return a.accepted ? a.value : QString();
    }
    return QFileDialog::getSaveFileName(dialogParent(), caption, fileName, filter);
}

DialogScript::DialogScript()
{
    setDialogResponder([this](const DialogRequest &r) {
        m_requests.push_back(r);
        if (onRequest)
            onRequest(r);
        if (m_answers.empty())
            return DialogAnswer {true, r.value};
        DialogAnswer a = m_answers.front();
        m_answers.erase(m_answers.begin());
        return a;
    });
}

DialogScript::~DialogScript()
{
    setDialogResponder({});
}

QStringList DialogScript::messages() const
{
    QStringList out;
    for (const DialogRequest &r : m_requests)
        if (r.kind == DialogKind::Message || r.kind == DialogKind::YesNo
            || r.kind == DialogKind::Error)
            out << r.text;
    return out;
}
