#pragma once

#include <Quorvane/Lib/DataList.h>
#include <Quorvane/Lib/LibExport.h>

#include <cstddef>
#include <memory>
#include <vector>

namespace Quorvane {

class Data;

/// A list that owns its data: what an algorithm hands out with takeOutput().
/// Move-only. Destroying it destroys what it still holds.
class QUORVANE_LIB_EXPORT OwningDataList
{
public:
    OwningDataList();
    explicit OwningDataList(std::unique_ptr<Data> data);
    OwningDataList(OwningDataList&&) noexcept;
    OwningDataList& operator=(OwningDataList&&) noexcept;
    OwningDataList(const OwningDataList&) = delete;
    OwningDataList& operator=(const OwningDataList&) = delete;
    ~OwningDataList();

    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    /// Appends `data`; a null pointer is ignored.
    void add(std::unique_ptr<Data> data);
    /// The item at `i` (still owned here), or nullptr when out of range.
    Data* at(std::size_t i) const;
    /// A non-owning view of the items.
    DataList dataList() const;

    /// Takes the item at `i` out of the list (nullptr when out of range).
    std::unique_ptr<Data> release(std::size_t i);
    /// Takes every item out of the list, in order.
    std::vector<std::unique_ptr<Data>> releaseAll();

private:
    std::vector<std::unique_ptr<Data>> m_items;
};

}  // namespace Quorvane
