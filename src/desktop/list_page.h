#pragma once
// What the panel's pages share: a list of named items, each with a check mark for its running
// state, beside a column of command buttons; and the questions about unsaved changes that the
// panel asks before "Close" and a change of page.
//
// Main thread only.

#include <QTreeWidget>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "datasource/definition_file.h"
#include "desktop/prompts.h"

class QPushButton;
class QVBoxLayout;

namespace tg {

class PanelPage : public QWidget {
public:
    using QWidget::QWidget;
    virtual bool hasUnsavedChanges() const { return false; }
    virtual void saveChanges() {}
    virtual void dropChanges() {}
    // Fills the page again from the managers.
    virtual void refresh() = 0;
};

class ListPage : public PanelPage {
public:
    struct Row {
        std::string name;
        bool running = false;
    };

    ListPage(Prompts& prompts, QWidget* parent);
    // The selected row's name; empty when none is selected.
    std::string selectedName() const;
    // Selects the row of that name, if any.
    void select(const std::string& name);
    QTreeWidget& list() { return *m_list; }

protected:
    // Adds a command button; its name is its text, so tests can find it.
    QPushButton* addCommand(const QString& text, std::function<void()> command);
    void fillRows(const std::vector<Row>& rows);
    // The exchange flows' questions, as message boxes.
    ExchangeQuestion question();
    // Asks for an XML file and writes `document` there (an existing file only when the user
    // agrees); failures are told.
    void exportDocument(const std::string& document);
    // Asks for an XML file and reads it; false when cancelled or unreadable (told).
    bool importDocument(std::string& document);

    Prompts& m_prompts;

private:
    QTreeWidget* m_list = nullptr;
    QVBoxLayout* m_commands = nullptr;
};

}  // namespace tg
