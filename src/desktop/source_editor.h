#pragma once
// The "Edit DataSource" editor, on a live source of the manager. While open it observes the
// source through a SourceMonitor (attaching starts the source's reader) and shows the newest
// records each second. Ok runs the shared source checks in their order, shows the first
// failure's message with the focus on its control, and otherwise applies the fields, saves and
// restarts the source. "Update" and a connection test try the fields on the live source without
// saving; Cancel puts the definition the editor found back.
//
// Main thread only. The source (through `handle`) must outlive the editor.

#include <QDialog>
#include <QTimer>

#include "datasource/source_edit.h"
#include "datasource/source_manager.h"
#include "desktop/prompts.h"
#include "desktop/source_monitor.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QTreeWidget;

namespace tg {

class SourceEditor final : public QDialog {
public:
    SourceEditor(SourceManager& sources, DataSource& source, Prompts& prompts,
                 QWidget* parent = nullptr);
    ~SourceEditor() override;

    // The fields as the controls hold them.
    SourceFields fields() const;
    // Shows what the monitor holds, if it changed (the timer's work).
    void showMonitor();
    SourceMonitor& monitor() { return m_monitor; }

    void accept() override;
    void reject() override;

private:
    void build();
    void fill(const SourceFields& fields);
    void tryOnSource(const SourceFields& fields);
    void update();
    void browseConnect();
    void testExpression();
    void newField();
    void addField(const QString& name);
    void deleteField();
    QWidget* controlOf(SourceFieldError error) const;

    SourceManager& m_sources;
    DataSource& m_source;
    Prompts& m_prompts;
    OpenEditors m_open;
    const SourceFields m_found;  // the definition when the editor opened
    bool m_tried = false;        // the live source holds fields that were not saved
    SourceMonitor m_monitor;
    QTimer m_timer;
    QLineEdit* m_name = nullptr;
    QComboBox* m_type = nullptr;
    QLineEdit* m_regexp = nullptr;
    QLineEdit* m_connect = nullptr;
    QLineEdit* m_backup = nullptr;
    QListWidget* m_fields = nullptr;
    QTreeWidget* m_records = nullptr;
};

}  // namespace tg
