// The keyword list of the listings service ("keywords"): words addressed by position, which
// programmes refer to by index. It may be reloaded from another thread while it is read.
#pragma once
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

class CKeywordList {
public:
    // Replaces the list with the file's words. A file that cannot be read is logged and the
    // list stays as it was; false then.
    bool Load(const std::string& strPath);
    // The word at the index; empty past the end.
    std::string GetKeyword(size_t nIndex) const;
    size_t GetCount() const;
    void Clear();

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_words;
};
