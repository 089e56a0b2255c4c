#pragma once
// The titles of the Info window's item picker: each item's visible name, and for items whose names
// are alike (ten "file2.txt" found in ten folders) as much of the folder around each as tells
// them apart ("file2.txt — b/logs" against "file2.txt — c/logs"). Items of one path stay alike.
#include <string>
#include <vector>

#include "files/Path.h"

namespace ml::info {

std::vector<std::string> itemPickerTitles(const std::vector<files::Path>& paths);

}  // namespace ml::info
