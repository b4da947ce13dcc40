#pragma once
// "Regular expression test": applies an expression to a sample text as the source would split a
// line, in a child process with a time limit (some expressions take glibc minutes). OK hands the
// (possibly changed) expression back to the editor that opened it.
//
// Main thread only.

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;

namespace tg {

class RegexpDialog final : public QDialog {
public:
    explicit RegexpDialog(const QString& expression, QWidget* parent = nullptr);
    QString expression() const;
    // Runs the test on what the controls hold and shows the result.
    void test();
    QString result() const;

private:
    QLineEdit* m_expression = nullptr;
    QPlainTextEdit* m_sample = nullptr;
    QPlainTextEdit* m_result = nullptr;
};

}  // namespace tg
