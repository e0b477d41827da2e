#include "InstrumentTable.h"

#include <QHeaderView>

namespace Quorvane::Viewer {

InstrumentTable::InstrumentTable(QWidget* parent) : QTableWidget(0, 6, parent)
{
    setObjectName(QStringLiteral("instrumentTable"));
    setHorizontalHeaderLabels(
        {tr("Id"), tr("Name"), tr("Position [mm]"), tr("Quality"), tr("Rate [Hz]"), tr("Age")});
    verticalHeader()->setVisible(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    horizontalHeader()->setStretchLastSection(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
}

void InstrumentTable::showRows(const std::vector<InstrumentRow>& rows)
{
    setRowCount(static_cast<int>(rows.size()));
    const QColor greyed = palette().color(QPalette::Disabled, QPalette::Text);
    const QColor normal = palette().color(QPalette::Active, QPalette::Text);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const InstrumentRow& row = rows[static_cast<std::size_t>(r)];
        const QString cells[] = {row.identifier, row.name, row.position, row.quality, row.rate, row.age};
        for (int c = 0; c < 6; ++c) {
            QTableWidgetItem* cell = item(r, c);
            if (cell == nullptr) {
                cell = new QTableWidgetItem();
                setItem(r, c, cell);
            }
            cell->setText(cells[c]);
            cell->setForeground(row.tracked ? normal : greyed);
        }
    }
}

}  // namespace Quorvane::Viewer
