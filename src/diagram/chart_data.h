#pragma once
// What a diagram gives out for charts and tables, filled under its lock.

#include <string>
#include <vector>

namespace tg {

// The x labels and, per y-axis in order, one value text per x label.
struct ChartData {
    std::vector<std::string> xLabels;
    std::vector<std::vector<std::string>> series;
};

// The recent records with every filter, group and axis result: a header (field names, filter
// names, "Group", axis names) and one row per record, oldest first.
struct RecentTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
};

}  // namespace tg
