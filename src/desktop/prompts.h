#pragma once
// Everything the desktop asks of the user through a modal box: questions, notices, file choices
// and the editors themselves. The windows ask through this seam only, so tests answer in place
// of the user; the program's own implementation shows Qt's message boxes and file dialogs.
//
// Main thread only.

#include <QString>

class QDialog;
class QWidget;

namespace tg {

// The caption of every question.
inline const QString kQuestionCaption = QStringLiteral("Tessellgrove Warning");
// File filters, in Qt's form.
inline const QString kXmlFilter = QStringLiteral("XML Files (*.xml);;All Files (*)");
inline const QString kAnyFileFilter = QStringLiteral("All Files (*)");
inline const QString kLogFileFilter = QStringLiteral("Log Files (*.log);;All Files (*)");

class Prompts {
public:
    virtual ~Prompts() = default;
    // Yes (true) or No.
    virtual bool ask(QWidget* parent, const QString& text,
                     const QString& caption = kQuestionCaption) = 0;
    virtual void tell(QWidget* parent, const QString& text) = 0;
    // The chosen path; empty when the user cancelled.
    virtual QString openFile(QWidget* parent, const QString& filter) = 0;
    virtual QString saveFile(QWidget* parent, const QString& filter) = 0;
    // Runs a modal editor; true when it ended with Ok.
    virtual bool runEditor(QDialog& editor) = 0;
};

// Qt's message boxes and file dialogs.
class BoxPrompts final : public Prompts {
public:
    bool ask(QWidget* parent, const QString& text, const QString& caption) override;
    void tell(QWidget* parent, const QString& text) override;
    QString openFile(QWidget* parent, const QString& filter) override;
    QString saveFile(QWidget* parent, const QString& filter) override;
    bool runEditor(QDialog& editor) override;
};

// Counts the editors open at any time, so that the tray menu leaves out "Exit" meanwhile.
class OpenEditors {
public:
    static bool any() { return count() > 0; }
    OpenEditors() { ++count(); }
    ~OpenEditors() { --count(); }
    OpenEditors(const OpenEditors&) = delete;
    OpenEditors& operator=(const OpenEditors&) = delete;

private:
    static int& count();
};

}  // namespace tg
