#include "desktop/box_messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace tg {
namespace {

void showBox(const QString& text, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QStringLiteral("Tessellgrove"), text, QMessageBox::Ok);
    box.exec();
}

}  // namespace

void BoxMessages::show(std::string_view text, MessageIcon icon) {
    const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;
    if (QThread::currentThread() == app->thread()) {
        showBox(message, icon);
    } else {
        QMetaObject::invokeMethod(
            app, [message, icon] { showBox(message, icon); }, Qt::QueuedConnection);
    }
}

}  // namespace tg
