#include "desktop/item_table.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "datasource/source_edit.h"
#include "desktop/dialog_parts.h"
#include "desktop/regexp_dialog.h"
#include "desktop/text.h"
#include "diagram/axis_oper.h"

namespace tg {
namespace {

enum Column { kName, kField, kRegexp, kSetting };

}  // namespace

ItemTable::ItemTable(Diagram& diagram, const ItemKind& kind, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_diagram(diagram), m_kind(kind), m_prompts(prompts) {
    setObjectName(fromStd(kind.title));
    m_table = new QTableWidget;
    QStringList headers{QStringLiteral("Name"), QStringLiteral("Field"), QStringLiteral("Regexp")};
    if (kind.setting != ItemSetting::None) headers << fromStd(kind.settingHeading);
    m_table->setColumnCount(static_cast<int>(headers.size()));
    m_table->setHorizontalHeaderLabels(headers);
    m_table->horizontalHeader()->setSectionResizeMode(kRegexp, QHeaderView::Stretch);
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem* cell) { cellChanged(cell); });
    connect(m_table, &QTableWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu;
        menu.addAction(QStringLiteral("Insert"), [this] { insertItem(); });
        menu.addAction(QStringLiteral("Delete"), [this] { deleteItem(); });
        menu.addAction(QStringLiteral("Edit regexp"), [this] { editRegexp(); });
        menu.exec(m_table->viewport()->mapToGlobal(at));
    });

    auto* buttons = new QVBoxLayout;
    for (const auto& [text, command] : {std::pair<QString, void (ItemTable::*)()>{
                                            QStringLiteral("Insert"), &ItemTable::insertItem},
                                        {QStringLiteral("Delete"), &ItemTable::deleteItem},
                                        {QStringLiteral("Edit regexp"), &ItemTable::editRegexp}}) {
        connect(addNamedButton(text, buttons), &QPushButton::clicked, this,
                [this, command = command] { (this->*command)(); });
    }
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    refresh();
}

QString ItemTable::notUniqueMessage() const {
    switch (m_kind.type) {
        case ItemType::Filter:
            return QStringLiteral("Filter names arn't unique");
        case ItemType::Group:
            return QStringLiteral("Group names arn't unique");
        case ItemType::Axis:
            break;
    }
    return QStringLiteral("Axis names arn't unique");
}

void ItemTable::refresh() {
    m_filling = true;
    const std::vector<ItemDefinition> items = m_diagram.items(m_kind);
    m_table->setRowCount(static_cast<int>(items.size()));
    for (int row = 0; row < static_cast<int>(items.size()); ++row) {
        const ItemDefinition& item = items[static_cast<std::size_t>(row)];
        auto* name = new QTableWidgetItem(fromStd(item.name));
        name->setData(Qt::UserRole, fromStd(item.name));  // the name the diagram knows
        m_table->setItem(row, kName, name);
        m_table->setItem(row, kField, new QTableWidgetItem(fromStd(item.field)));
        m_table->setItem(row, kRegexp, new QTableWidgetItem(fromStd(item.regexp)));
        if (m_kind.setting == ItemSetting::Invert) {
            auto* invert = new QTableWidgetItem;
            invert->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
            invert->setCheckState(item.setting == 1 ? Qt::Checked : Qt::Unchecked);
            m_table->setItem(row, kSetting, invert);
        } else if (m_kind.setting == ItemSetting::Operation) {
            auto* oper = new QComboBox;
            for (std::uint32_t code = 1; code <= 7; ++code) {
                oper->addItem(fromStd(operName(operFromCode(code))), code);
            }
            oper->setCurrentIndex(oper->findData(item.setting));
            connect(oper, &QComboBox::currentIndexChanged, this, [this, oper] {
                for (int r = 0; r < m_table->rowCount(); ++r) {
                    if (m_table->cellWidget(r, kSetting) == oper) applyRow(r);
                }
            });
            m_table->setCellWidget(row, kSetting, oper);
        }
    }
    m_filling = false;
}

std::string ItemTable::nameAt(int row) const {
    const QTableWidgetItem* cell = m_table->item(row, kName);
    return cell == nullptr ? std::string() : toStd(cell->data(Qt::UserRole).toString());
}

void ItemTable::applyRow(int row) {
    if (m_filling) return;
    const std::string field = toStd(m_table->item(row, kField)->text());
    const std::string regexp = toStd(m_table->item(row, kRegexp)->text());
    std::uint32_t setting = kKeepSetting;
    if (m_kind.setting == ItemSetting::Invert) {
        setting = m_table->item(row, kSetting)->checkState() == Qt::Checked ? 1 : 0;
    } else if (auto* oper = qobject_cast<QComboBox*>(m_table->cellWidget(row, kSetting))) {
        setting = oper->currentData().toUInt();
    }
    m_diagram.setItem(m_kind, nameAt(row), {field, regexp, setting});
}

void ItemTable::cellChanged(QTableWidgetItem* cell) {
    if (m_filling) return;
    const int row = cell->row();
    if (cell->column() != kName) {
        applyRow(row);
        return;
    }
    const std::string oldName = nameAt(row);
    const std::string newName = toStd(cell->text());
    if (newName == oldName) return;
    if (checkSourceName(newName, oldName, m_diagram.itemNames(m_kind)) != SourceFieldError::None ||
        m_diagram.renameItem(m_kind, oldName, newName) != 0) {
        m_prompts.tell(
            this, newName.empty() ? QStringLiteral("Please fill the name") : notUniqueMessage());
    }
    refresh();
}

void ItemTable::insertItem() {
    const std::vector<std::string> names = m_diagram.itemNames(m_kind);
    std::string name(m_kind.baseName);
    for (unsigned number = 2; checkSourceName(name, {}, names) != SourceFieldError::None;
         ++number) {
        name = std::string(m_kind.baseName) + ' ' + std::to_string(number);
    }
    const FieldNames fields = m_diagram.fieldNames();
    const std::string field = fields.empty() ? std::string() : fields.front();
    m_diagram.setItem(m_kind, name, {field, std::string_view(".*"), kKeepSetting});
    refresh();
    m_table->selectRow(m_table->rowCount() - 1);
}

void ItemTable::deleteItem() {
    const int row = m_table->currentRow();
    if (row < 0) return;
    const QString question = QStringLiteral("Delete %1?").arg(fromStd(m_kind.word));
    if (!m_prompts.ask(this, question)) return;
    (void)m_diagram.deleteItem(m_kind, nameAt(row));  // the row showed an existing item
    refresh();
}

void ItemTable::editRegexp() {
    const int row = m_table->currentRow();
    if (row < 0) return;
    RegexpDialog dialog(m_table->item(row, kRegexp)->text(), this);
    if (m_prompts.runEditor(dialog)) m_table->item(row, kRegexp)->setText(dialog.expression());
}

}  // namespace tg
