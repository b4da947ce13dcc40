#pragma once
// One of the diagram editor's three item tables (filters, groups or y-axes), on the live
// diagram: every insertion, deletion and change is applied to the diagram at once. A name the
// store could not keep apart from the kind's other names is refused with the kind's
// "... names arn't unique" message and the old name comes back.
//
// Main thread only; the diagram must outlive the table.

#include <QWidget>

#include "desktop/prompts.h"
#include "diagram/diagram.h"

class QTableWidget;
class QTableWidgetItem;

namespace tg {

class ItemTable final : public QWidget {
public:
    ItemTable(Diagram& diagram, const ItemKind& kind, Prompts& prompts, QWidget* parent = nullptr);

    void refresh();
    // A new item with the kind's next free default name.
    void insertItem();
    // Asks, then deletes the selected item.
    void deleteItem();
    // Opens the expression test on the selected item's expression.
    void editRegexp();
    QTableWidget& table() { return *m_table; }
    // The message of a name that is not unique among the kind's items.
    QString notUniqueMessage() const;

private:
    void cellChanged(QTableWidgetItem* cell);
    std::string nameAt(int row) const;
    void applyRow(int row);

    Diagram& m_diagram;
    const ItemKind& m_kind;
    Prompts& m_prompts;
    QTableWidget* m_table = nullptr;
    bool m_filling = false;
};

}  // namespace tg
