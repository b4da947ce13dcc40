#include "desktop/regexp_dialog.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/dialog_parts.h"
#include "desktop/text.h"
#include "regex/regexp_sandbox.h"

namespace tg {

RegexpDialog::RegexpDialog(const QString& expression, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Regular expression test"));
    auto* form = new QFormLayout;
    m_expression = new QLineEdit(expression);
    m_expression->setObjectName("Regular expression");
    form->addRow(QStringLiteral("Regular expression"), m_expression);
    m_sample = new QPlainTextEdit;
    m_sample->setObjectName("Data sample");
    form->addRow(QStringLiteral("Data sample"), m_sample);
    auto* testButton = new QPushButton(QStringLiteral("Test"));
    testButton->setObjectName("Test");
    connect(testButton, &QPushButton::clicked, this, [this] { test(); });
    form->addRow(QString(), testButton);
    m_result = new QPlainTextEdit;
    m_result->setObjectName("Result");
    m_result->setReadOnly(true);
    form->addRow(QStringLiteral("Result"), m_result);
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(okCancelButtons(*this));
    resize(520, 360);
}

QString RegexpDialog::expression() const { return m_expression->text(); }
QString RegexpDialog::result() const { return m_result->toPlainText(); }

void RegexpDialog::test() {
    const std::string sample = toStd(m_sample->toPlainText());
    if (sample.empty()) return;
    m_result->setPlainText(fromStd(testRegexpWithin(toStd(m_expression->text()), sample)));
}

}  // namespace tg
