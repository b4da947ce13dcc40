#include "desktop/diagram_editor.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <set>

#include "datasource/source_edit.h"
#include "desktop/dialog_parts.h"
#include "desktop/item_table.h"
#include "desktop/text.h"

namespace tg {

DiagramEditor::DiagramEditor(DiagramManager& diagrams, SourceManager& sources, Diagram& diagram,
                             Prompts& prompts, QWidget* parent)
    : QDialog(parent),
      m_diagrams(diagrams),
      m_diagram(diagram),
      m_prompts(prompts),
      m_found(diagram.name()) {
    setWindowTitle(QStringLiteral("Edit Diagram"));
    auto* form = new QFormLayout;
    m_name = new QLineEdit(fromStd(m_found));
    m_name->setObjectName("Name");
    form->addRow(QStringLiteral("Name"), m_name);
    m_source = new QComboBox;
    m_source->setObjectName("DataSource");
    m_source->addItem(QString());
    for (const std::string& name : sources.names()) m_source->addItem(fromStd(name));
    const std::string current = diagram.dataSourceName();
    if (!current.empty() && m_source->findText(fromStd(current)) < 0) {
        m_source->addItem(fromStd(current));  // a source that is gone still shows
    }
    m_source->setCurrentText(fromStd(current));
    connect(m_source, &QComboBox::currentIndexChanged, this, [this] { chooseSource(); });
    form->addRow(QStringLiteral("DataSource"), m_source);

    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    for (const ItemKind* kind : kItemKinds) {
        const QString title = kind->type == ItemType::Filter  ? QStringLiteral("Filter")
                              : kind->type == ItemType::Group ? QStringLiteral("Groups")
                                                              : QStringLiteral("Axises");
        auto* box = new QGroupBox(title);
        auto* layout = new QVBoxLayout(box);
        auto* table = new ItemTable(diagram, *kind, prompts);
        m_tables[static_cast<std::size_t>(kind->type)] = table;
        layout->addWidget(table);
        top->addWidget(box, 1);
    }

    auto* monitorBox = new QGroupBox(QStringLiteral("Monitor"));
    auto* monitorLayout = new QHBoxLayout(monitorBox);
    m_recent = new QTreeWidget;
    m_recent->setObjectName("Monitor list");
    m_recent->setRootIsDecorated(false);
    monitorLayout->addWidget(m_recent, 1);
    auto* monitorButton = new QPushButton(QStringLiteral("Monitor"));
    monitorButton->setObjectName("Monitor");
    connect(monitorButton, &QPushButton::clicked, this, [this] { monitor(); });
    monitorLayout->addWidget(monitorButton, 0, Qt::AlignTop);
    top->addWidget(monitorBox, 1);

    top->addWidget(okCancelButtons(*this));
    resize(640, 760);

    connect(&m_timer, &QTimer::timeout, this, [this] { showRecent(); });
    m_timer.start(1000);
    showRecent();
}

void DiagramEditor::chooseSource() {
    const std::string name = toStd(m_source->currentText());
    if (name.empty()) return;             // no source stays what it was until Ok asks for one
    (void)m_diagram.setDataSource(name);  // a stopped diagram stays stopped when it has none
}

void DiagramEditor::monitor() {
    if (!m_prompts.ask(this, QStringLiteral("All the Diagram's Data will be reset. Continue?\n"
                                            "Rebuild the Diagram later"))) {
        return;
    }
    m_diagram.clearData();
    showRecent();
}

void DiagramEditor::showRecent() {
    const RecentTable table = m_diagram.recentTable();
    QStringList headers;
    for (const std::string& heading : table.header) headers << fromStd(heading);
    m_recent->setColumnCount(std::max<int>(1, static_cast<int>(headers.size())));
    m_recent->setHeaderLabels(headers);
    m_recent->clear();
    for (const auto& row : table.rows) {
        QStringList values;
        for (const std::string& value : row) values << fromStd(value);
        m_recent->addTopLevelItem(new QTreeWidgetItem(values));
    }
}

void DiagramEditor::accept() {
    const std::string name = toStd(m_name->text());
    switch (checkSourceName(name, m_found, m_diagrams.names())) {
        case SourceFieldError::None:
            break;
        case SourceFieldError::NameEmpty:
            m_prompts.tell(this, QStringLiteral("Plese fill diagram name"));
            m_name->setFocus();
            return;
        case SourceFieldError::NameNotKey:
            m_prompts.tell(this, QStringLiteral("Diagram name can not contain a backslash"));
            m_name->setFocus();
            return;
        default:
            m_prompts.tell(this, QStringLiteral("Diagram with such name already exists"));
            m_name->setFocus();
            return;
    }
    if (m_diagram.dataSourceName().empty()) {
        m_prompts.tell(this, QStringLiteral("Please choose data source"));
        m_source->setFocus();
        return;
    }
    for (ItemTable* table : m_tables) {
        std::set<QString> seen;
        for (int row = 0; row < table->table().rowCount(); ++row) {
            if (!seen.insert(table->table().item(row, 0)->text().toLower()).second) {
                m_prompts.tell(this, table->notUniqueMessage());
                table->table().setFocus();
                return;
            }
        }
    }
    if (name != m_found && m_diagram.rename(name) != 0) {
        m_prompts.tell(this, QStringLiteral("Diagram with such name already exists"));
        m_name->setFocus();
        return;
    }
    m_diagram.saveDefinition();
    m_timer.stop();
    QDialog::accept();
}

}  // namespace tg
