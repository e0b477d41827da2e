#pragma once

#include "InstrumentRows.h"

#include <QTableWidget>

#include <vector>

namespace Quorvane::Viewer {

/// The instruments of the stream as a table: id, name, position, orientation (roll, pitch, yaw),
/// quality, rate and age; rows of instruments without valid tracking greyed out. UI thread only.
class InstrumentTable : public QTableWidget
{
public:
    explicit InstrumentTable(QWidget* parent = nullptr);

    void showRows(const std::vector<InstrumentRow>& rows);
};

}  // namespace Quorvane::Viewer
