#include "desktop/prompts.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace tg {

bool BoxPrompts::ask(QWidget* parent, const QString& text, const QString& caption) {
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void BoxPrompts::tell(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QStringLiteral("Tessellgrove"), text);
}

QString BoxPrompts::openFile(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

QString BoxPrompts::saveFile(QWidget* parent, const QString& filter) {
    // The file-exists question is the caller's, with its own text.
    return QFileDialog::getSaveFileName(parent, QString(), QString(), filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

bool BoxPrompts::runEditor(QDialog& editor) { return editor.exec() == QDialog::Accepted; }

int& OpenEditors::count() {
    static int open = 0;
    return open;
}

}  // namespace tg
