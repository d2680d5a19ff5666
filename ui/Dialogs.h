#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// Every message box, Yes/No question, text input box and file dialog of the program goes
// through here, so that tests can answer them by script.

enum class DialogKind { Message, YesNo, Input, OpenFile, SaveFile, Error };

struct DialogRequest
{
    DialogKind kind = DialogKind::Message;
    QString caption;
    QString text; // message, question or prompt
    QString value; // input box: the text offered; file dialogs: the name offered
    QString filter; // file dialogs
};

struct DialogAnswer
{
    bool accepted = true; // OK / Yes / a file chosen
    QString value; // input box: the text; file dialogs: the chosen path
};

using DialogResponder = std::function<DialogAnswer(const DialogRequest &)>;

// An installed responder answers every dialog instead of the user; empty restores the real
// dialogs.
void setDialogResponder(DialogResponder responder);

// An information box with the program's name as its title.
void ShowMessage(const QString &text);
// An error box with the program's name as its title.
void ShowError(const QString &text);
// The one confirmation: true for Yes.
bool MessageDlgYesNo(const QString &text);
// A one-line text input box; value holds the offered text and, when accepted, the typed one.
bool InputQuery(const QString &caption, const QString &prompt, QString &value);
// The standard file dialogs; the empty text when cancelled.
QString PromptOpenFileName(const QString &caption, const QString &filter);
QString PromptSaveFileName(const QString &caption, const QString &fileName, const QString &filter);

// Answers dialogs in turn from a queue (accepting when it runs dry) and records every
// request, for as long as it lives.
class DialogScript
{
public:
    DialogScript();
    ~DialogScript();
    DialogScript(const DialogScript &) = delete;
    DialogScript &operator=(const DialogScript &) = delete;

    void push(DialogAnswer answer) { m_answers.push_back(std::move(answer)); }
    const std::vector<DialogRequest> &requests() const { return m_requests; }
    // The texts of the message boxes shown so far, in order.
    QStringList messages() const;
    void clear() { m_requests.clear(); }
    // Runs when a dialog would open, before it is answered (e.g. to look at the window).
    std::function<void(const DialogRequest &)> onRequest;

private:
    std::vector<DialogAnswer> m_answers;
    std::vector<DialogRequest> m_requests;
};
