#include <Quorvane/Lib/DataList.h>

#include <algorithm>

namespace Quorvane {

DataList::DataList() = default;

DataList::DataList(std::initializer_list<Data*> items)
{
    for (Data* d : items) {
        add(d);
    }
}

DataList::DataList(std::vector<Data*> items) : m_items(std::move(items))
{
    m_items.erase(std::remove(m_items.begin(), m_items.end(), nullptr), m_items.end());
}

void DataList::add(Data* data)
{
    if (data != nullptr) {
        m_items.push_back(data);
    }
}

}  // namespace Quorvane
