#include "InstrumentTable.h"

#include <common/Orientation.h>

#include <QHeaderView>

namespace Quorvane::Viewer {

namespace Internal {
constexpr int kColumns = 7;
constexpr int kOrientationColumn = 3;
}  // namespace Internal

InstrumentTable::InstrumentTable(QWidget* parent) : QTableWidget(0, Internal::kColumns, parent)
{
    setObjectName(QStringLiteral("instrumentTable"));
    setHorizontalHeaderLabels({tr("Id"), tr("Name"), tr("Position [mm]"), tr("Roll, pitch, yaw [°]"),
                               tr("Quality"), tr("Rate [Hz]"), tr("Age")});
    horizontalHeaderItem(Internal::kOrientationColumn)
        ->setToolTip(QString::fromStdString(AppsCommon::orientationConvention()));
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
        const QString cells[Internal::kColumns] = {row.identifier, row.name, row.position, row.orientation,
                                                   row.quality,    row.rate, row.age};
        for (int c = 0; c < Internal::kColumns; ++c) {
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
