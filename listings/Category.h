// Programme categories: the shared category object and the program's category list, which
// answers every id, an unknown one with the default category "Unknown" (id 33).
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class CCategory {
public:
    CCategory(uint32_t uID, std::string strName) : m_uID(uID), m_strName(std::move(strName)) {}
    uint32_t GetID() const { return m_uID; }
    const std::string& GetName() const { return m_strName; }

private:
    uint32_t m_uID = 0;
    std::string m_strName;
};

using CCategoryPtr = std::shared_ptr<const CCategory>;

class CCategoryList {
public:
    static constexpr uint32_t kDefaultCategoryID = 33;

    // The program's category list.
    static CCategoryList& Instance();

    // Never null: an id that is not in the list gives the default category.
    CCategoryPtr GetCategory(uint32_t uID) const;
    CCategoryPtr GetDefaultCategory() const { return m_pDefault; }
    // Replaces the list; the categories are kept sorted by name.
    void SetCategories(std::vector<CCategoryPtr> categories);
    std::vector<CCategoryPtr> GetSortedCategories() const;
    // The category's place in the sorted categories; -1 for an id that is not in the list.
    int GetPosition(uint32_t uID) const;

private:
    mutable std::mutex m_lock;
    std::vector<CCategoryPtr> m_sorted;
    std::unordered_map<uint32_t, CCategoryPtr> m_byID;
    std::unordered_map<uint32_t, int> m_positions;
    const CCategoryPtr m_pDefault = std::make_shared<const CCategory>(kDefaultCategoryID, "Unknown");
};
