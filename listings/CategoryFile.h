// Reading the "category" file of the listings service into the program's category list.
#pragma once
#include <string>

#include "listings/Category.h"

// Replaces the list's categories with those of the file at the path. A file that is missing or
// damaged is logged and leaves the list empty (every id then gives "Unknown"). False then.
bool LoadCategories(const std::string& strPath, CCategoryList& list = CCategoryList::Instance());
