#include "listings/Category.h"

#include <algorithm>

#include "foundation/NameHash.h"

CCategoryList& CCategoryList::Instance() {
    static CCategoryList list;
    return list;
}

CCategoryPtr CCategoryList::GetCategory(uint32_t uID) const {
    std::lock_guard<std::mutex> lock(m_lock);
    const auto it = m_byID.find(uID);
    return it != m_byID.end() ? it->second : m_pDefault;
}

void CCategoryList::SetCategories(std::vector<CCategoryPtr> categories) {
    std::erase(categories, nullptr);
    std::stable_sort(categories.begin(), categories.end(), [](const CCategoryPtr& a, const CCategoryPtr& b) {
        const std::string& x = a->GetName();
        const std::string& y = b->GetName();
        return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](char l, char r) {
            return AsciiUpper(static_cast<unsigned char>(l)) < AsciiUpper(static_cast<unsigned char>(r));
        });
    });
    std::unordered_map<uint32_t, CCategoryPtr> byID;
    std::unordered_map<uint32_t, int> positions;
    for (size_t i = 0; i < categories.size(); ++i) {
        byID.emplace(categories[i]->GetID(), categories[i]);
        positions.emplace(categories[i]->GetID(), static_cast<int>(i));
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_sorted = std::move(categories);
    m_byID = std::move(byID);
    m_positions = std::move(positions);
}

int CCategoryList::GetPosition(uint32_t uID) const {
    std::lock_guard<std::mutex> lock(m_lock);
    const auto it = m_positions.find(uID);
    return it != m_positions.end() ? it->second : -1;
}

std::vector<CCategoryPtr> CCategoryList::GetSortedCategories() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_sorted;
}
