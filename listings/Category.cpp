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
    for (const auto& category : categories) byID.emplace(category->GetID(), category);
    std::lock_guard<std::mutex> lock(m_lock);
    m_sorted = std::move(categories);
    m_byID = std::move(byID);
}

std::vector<CCategoryPtr> CCategoryList::GetSortedCategories() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_sorted;
}
