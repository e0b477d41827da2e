#include <Quorvane/Lib/OwningDataList.h>

#include <Quorvane/Lib/Data.h>

namespace Quorvane {

OwningDataList::OwningDataList() = default;

OwningDataList::OwningDataList(std::unique_ptr<Data> data)
{
    add(std::move(data));
}

OwningDataList::OwningDataList(OwningDataList&&) noexcept = default;
OwningDataList& OwningDataList::operator=(OwningDataList&&) noexcept = default;
OwningDataList::~OwningDataList() = default;

void OwningDataList::add(std::unique_ptr<Data> data)
{
    if (data) {
        m_items.push_back(std::move(data));
    }
}

Data* OwningDataList::at(std::size_t i) const
{
    return i < m_items.size() ? m_items[i].get() : nullptr;
}

DataList OwningDataList::dataList() const
{
    DataList list;
    for (const auto& item : m_items) {
        list.add(item.get());
    }
    return list;
}

std::unique_ptr<Data> OwningDataList::release(std::size_t i)
{
    if (i >= m_items.size()) {
        return nullptr;
    }
    std::unique_ptr<Data> out = std::move(m_items[i]);
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(i));
    return out;
}

std::vector<std::unique_ptr<Data>> OwningDataList::releaseAll()
{
    std::vector<std::unique_ptr<Data>> out;
    out.swap(m_items);
    return out;
}

}  // namespace Quorvane
