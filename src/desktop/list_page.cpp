#include "desktop/list_page.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/text.h"

namespace tg {

ListPage::ListPage(Prompts& prompts, QWidget* parent) : PanelPage(parent), m_prompts(prompts) {
    m_list = new QTreeWidget;
    m_list->setObjectName("list");
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Running")});
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->header()->setStretchLastSection(false);
    m_commands = new QVBoxLayout;
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(m_commands);
}

QPushButton* ListPage::addCommand(const QString& text, std::function<void()> command) {
    auto* b = new QPushButton(text);
    b->setObjectName(text);
    connect(b, &QPushButton::clicked, this, [command = std::move(command)] { command(); });
    // Refresh List stands apart at the bottom.
    if (text == QStringLiteral("Refresh List")) m_commands->addStretch();
    m_commands->addWidget(b);
    return b;
}

void ListPage::fillRows(const std::vector<Row>& rows) {
    const std::string selected = selectedName();
    m_list->clear();
    for (const Row& row : rows) {
        auto* item = new QTreeWidgetItem(QStringList{fromStd(row.name)});
        item->setCheckState(1, row.running ? Qt::Checked : Qt::Unchecked);
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        m_list->addTopLevelItem(item);
    }
    select(selected);
}

std::string ListPage::selectedName() const {
    const QTreeWidgetItem* item = m_list->currentItem();
    return item == nullptr ? std::string() : toStd(item->text(0));
}

void ListPage::select(const std::string& name) {
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = m_list->topLevelItem(row);
        if (toStd(item->text(0)) == name) {
            m_list->setCurrentItem(item);
            return;
        }
    }
}

ExchangeQuestion ListPage::question() {
    return [this](const std::string& text) { return m_prompts.ask(this, fromStd(text)); };
}

void ListPage::exportDocument(const std::string& document) {
    const QString path = m_prompts.saveFile(this, kXmlFilter);
    if (path.isEmpty()) return;
    std::string error;
    if (writeDefinitionFile(toStd(path), document, question(), error) != 0 && !error.empty()) {
        m_prompts.tell(this, fromStd(error));
    }
}

bool ListPage::importDocument(std::string& document) {
    const QString path = m_prompts.openFile(this, kXmlFilter);
    if (path.isEmpty()) return false;
    std::string error;
    if (readDefinitionFile(toStd(path), document, error) != 0) {
        m_prompts.tell(this, fromStd(error));
        return false;
    }
    return true;
}

}  // namespace tg
