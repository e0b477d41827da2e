#pragma once

#include <Quorvane/Lib/LibExport.h>

#include <cstddef>
#include <initializer_list>
#include <vector>

namespace Quorvane {

class Data;

/// A non-owning list of data, in order: an algorithm's input. Copy is cheap
/// (pointers only); the data must outlive the list.
class QUORVANE_LIB_EXPORT DataList
{
public:
    DataList();
    DataList(std::initializer_list<Data*> items);
    explicit DataList(std::vector<Data*> items);

    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    /// Appends `data`; a null pointer is ignored.
    void add(Data* data);
    Data* operator[](std::size_t i) const { return m_items[i]; }
    /// The item at `i`, or nullptr when out of range.
    Data* at(std::size_t i) const { return i < m_items.size() ? m_items[i] : nullptr; }
    const std::vector<Data*>& items() const { return m_items; }
    std::vector<Data*>::const_iterator begin() const { return m_items.begin(); }
    std::vector<Data*>::const_iterator end() const { return m_items.end(); }

    bool operator==(const DataList& other) const { return m_items == other.m_items; }
    bool operator!=(const DataList& other) const { return m_items != other.m_items; }

private:
    std::vector<Data*> m_items;
};

}  // namespace Quorvane
