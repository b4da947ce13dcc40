#include "desktop/source_editor.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "desktop/dialog_parts.h"
#include "desktop/regexp_dialog.h"
#include "desktop/text.h"

namespace tg {
namespace {

constexpr SourceType kTypes[] = {SourceType::File, SourceType::TcpIp, SourceType::Udp,
                                 SourceType::Odbc, SourceType::Com};

}  // namespace

SourceEditor::SourceEditor(SourceManager& sources, DataSource& source, Prompts& prompts,
                           QWidget* parent)
    : QDialog(parent),
      m_sources(sources),
      m_source(source),
      m_prompts(prompts),
      m_found(sourceFieldsOf(source)) {
    setWindowTitle(QStringLiteral("Edit DataSource"));
    build();
    fill(m_found);
    m_source.attach(m_monitor);
    connect(&m_timer, &QTimer::timeout, this, [this] { showMonitor(); });
    m_timer.start(1000);
}

SourceEditor::~SourceEditor() {
    m_timer.stop();
    m_source.detach(m_monitor);
}

void SourceEditor::build() {
    auto* form = new QFormLayout;
    m_name = new QLineEdit;
    m_name->setObjectName("Name");
    form->addRow(QStringLiteral("Name"), m_name);
    m_type = new QComboBox;
    m_type->setObjectName("Type");
    m_type->addItem(QString(), 0u);
    for (SourceType type : kTypes) {
        m_type->addItem(fromStd(sourceTypeName(type)), static_cast<unsigned>(type));
    }
    form->addRow(QStringLiteral("Type"), m_type);

    auto* regexpRow = new QHBoxLayout;
    m_regexp = new QLineEdit;
    m_regexp->setObjectName("Expressoin");
    regexpRow->addWidget(m_regexp);
    connect(addNamedButton("Test", regexpRow), &QPushButton::clicked, this,
            [this] { testExpression(); });
    form->addRow(QStringLiteral("Expressoin"), regexpRow);

    auto* connectRow = new QHBoxLayout;
    m_connect = new QLineEdit;
    m_connect->setObjectName("Data param");
    connectRow->addWidget(m_connect);
    connect(addNamedButton("Browse/Connect", connectRow), &QPushButton::clicked, this,
            [this] { browseConnect(); });
    form->addRow(QStringLiteral("Data param"), connectRow);

    auto* backupRow = new QHBoxLayout;
    m_backup = new QLineEdit;
    m_backup->setObjectName("Log Duplicate");
    backupRow->addWidget(m_backup);
    connect(addNamedButton("Browse", backupRow), &QPushButton::clicked, this, [this] {
        const QString path = m_prompts.openFile(this, kAnyFileFilter);
        if (!path.isEmpty()) m_backup->setText(path);
    });
    form->addRow(QStringLiteral("Log Duplicate"), backupRow);

    auto* fieldsBox = new QGroupBox(QStringLiteral("Fields"));
    auto* fieldsLayout = new QHBoxLayout(fieldsBox);
    m_fields = new QListWidget;
    m_fields->setObjectName("Fields");
    m_fields->setMaximumHeight(120);
    fieldsLayout->addWidget(m_fields);
    auto* fieldButtons = new QVBoxLayout;
    connect(addNamedButton("New", fieldButtons), &QPushButton::clicked, this,
            [this] { newField(); });
    connect(addNamedButton("Edit", fieldButtons), &QPushButton::clicked, this, [this] {
        if (QListWidgetItem* item = m_fields->currentItem()) m_fields->editItem(item);
    });
    connect(addNamedButton("Delete", fieldButtons), &QPushButton::clicked, this,
            [this] { deleteField(); });
    fieldButtons->addStretch();
    fieldsLayout->addLayout(fieldButtons);

    auto* monitorBox = new QGroupBox(QStringLiteral("Source monitor"));
    auto* monitorLayout = new QVBoxLayout(monitorBox);
    m_records = new QTreeWidget;
    m_records->setObjectName("Source monitor");
    m_records->setRootIsDecorated(false);
    monitorLayout->addWidget(m_records);
    auto* updateRow = new QHBoxLayout;
    updateRow->addStretch();
    connect(addNamedButton("Update", updateRow), &QPushButton::clicked, this, [this] { update(); });
    monitorLayout->addLayout(updateRow);

    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(fieldsBox, 0);
    top->addWidget(monitorBox, 1);
    top->addWidget(okCancelButtons(*this));
    resize(560, 620);
}

void SourceEditor::fill(const SourceFields& fields) {
    m_name->setText(fromStd(fields.name));
    const int typeIndex = m_type->findData(static_cast<unsigned>(fields.type));
    m_type->setCurrentIndex(typeIndex < 0 ? 0 : typeIndex);
    m_regexp->setText(fromStd(fields.regexp));
    m_connect->setText(fromStd(fields.connect));
    m_backup->setText(fromStd(fields.backup));
    m_fields->clear();
    for (const std::string& field : fields.fields) addField(fromStd(field));
}

SourceFields SourceEditor::fields() const {
    SourceFields fields = m_found;  // keeps what the editor does not show (datagram lines)
    fields.name = toStd(m_name->text());
    // A stored code without a name shows as no type: one has to be chosen.
    fields.type = sourceTypeFromCode(m_type->currentData().toUInt());
    fields.regexp = toStd(m_regexp->text());
    fields.connect = toStd(m_connect->text());
    fields.backup = toStd(m_backup->text());
    fields.fields.clear();
    for (int row = 0; row < m_fields->count(); ++row) {
        fields.fields.push_back(toStd(m_fields->item(row)->text()));
    }
    return fields;
}

QWidget* SourceEditor::controlOf(SourceFieldError error) const {
    switch (error) {
        case SourceFieldError::None:
            break;
        case SourceFieldError::NameEmpty:
        case SourceFieldError::NameNotKey:
        case SourceFieldError::NameTaken:
            return m_name;
        case SourceFieldError::RegexpEmpty:
            return m_regexp;
        case SourceFieldError::ConnectEmpty:
            return m_connect;
        case SourceFieldError::BackupEmpty:
            return m_backup;
        case SourceFieldError::TypeMissing:
            return m_type;
        case SourceFieldError::FieldsNotUnique:
            return m_fields;
    }
    return nullptr;
}

void SourceEditor::accept() {
    const SourceFields edited = fields();
    const SourceFieldError error = checkSourceFields(edited, m_found.name, m_sources.names());
    if (error != SourceFieldError::None) {
        m_prompts.tell(this, fromStd(sourceFieldMessage(error)));
        controlOf(error)->setFocus();
        return;
    }
    m_timer.stop();
    m_source.detach(m_monitor);
    if (applySourceFields(m_source, edited) != 0) {
        // Only diagrams attached meanwhile (from a web page) keep the old name.
        m_prompts.tell(this, QStringLiteral("The name can not be changed while diagrams use the "
                                            "data source; the other fields were saved."));
    }
    m_source.restart();
    m_tried = false;
    QDialog::accept();
}

void SourceEditor::reject() {
    if (m_tried) {
        // The live source goes back to the definition it had; nothing was saved.
        tryOnSource(m_found);
        m_tried = false;
    }
    QDialog::reject();
}

void SourceEditor::tryOnSource(const SourceFields& fields) {
    (void)m_source.setType(fields.type);  // setters answer 0 whatever they set
    (void)m_source.setRegexp(fields.regexp);
    (void)m_source.setConnect(fields.connect);
    (void)m_source.setBackup(fields.backup);
    m_source.setFields(fields.fields);
    m_source.setDatagramLines(fields.datagramLines);
    m_tried = true;
}

void SourceEditor::update() {
    tryOnSource(fields());
    m_source.restart();
}

void SourceEditor::browseConnect() {
    const SourceFields edited = fields();
    if (edited.type == SourceType::File) {
        const QString path = m_prompts.openFile(this, kAnyFileFilter);
        if (!path.isEmpty()) m_connect->setText(path);
        return;
    }
    tryOnSource(edited);
    std::string text = edited.connect;
    if (!m_source.testConnection(text)) {
        m_prompts.tell(this, fromStd(text));
        return;
    }
    m_prompts.tell(this, QStringLiteral("OK"));
    if (edited.type == SourceType::Odbc) {
        FieldNames columns;
        m_source.odbcColumnNames(columns);
        m_fields->clear();
        for (const std::string& column : columns) addField(fromStd(column));
    }
}

void SourceEditor::testExpression() {
    RegexpDialog dialog(m_regexp->text(), this);
    if (m_prompts.runEditor(dialog)) m_regexp->setText(dialog.expression());
}

void SourceEditor::newField() {
    addField(QStringLiteral("Field %1").arg(m_fields->count() + 1));
    m_fields->editItem(m_fields->currentItem());
}

void SourceEditor::addField(const QString& name) {
    auto* item = new QListWidgetItem(name);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    m_fields->addItem(item);
    m_fields->setCurrentItem(item);
}

void SourceEditor::deleteField() {
    QListWidgetItem* item = m_fields->currentItem();
    if (item == nullptr || !m_prompts.ask(this, QStringLiteral("Delete field?"))) return;
    delete m_fields->takeItem(m_fields->row(item));
}

void SourceEditor::showMonitor() {
    std::optional<SourceMonitor::Snapshot> snapshot = m_monitor.takeIfChanged();
    if (!snapshot) return;
    QStringList headers;
    for (const std::string& name : snapshot->fieldNames) headers << fromStd(name);
    if (headers.isEmpty()) headers << QString();
    m_records->setColumnCount(static_cast<int>(headers.size()));
    m_records->setHeaderLabels(headers);
    m_records->clear();
    for (const Record& record : snapshot->records) {
        QStringList values;
        for (const std::string& value : record) values << fromStd(value);
        m_records->addTopLevelItem(new QTreeWidgetItem(values));
    }
}

}  // namespace tg
