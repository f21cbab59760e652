#include "scanners/FindingList.h"

#include <algorithm>

namespace tw {

int CompareFindingText(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

int FindingList::UnrepairedCount() const {
    return static_cast<int>(std::count_if(rows_.begin(), rows_.end(),
                                          [](const Row& r) { return !r.finding.Repaired(); }));
}

int FindingList::RemoveWhere(const std::function<bool(const Finding&)>& pred) {
    const size_t before = rows_.size();
    rows_.erase(std::remove_if(rows_.begin(), rows_.end(), [&pred](const Row& r) { return pred(r.finding); }),
                rows_.end());
    return static_cast<int>(before - rows_.size());
}

int FindingList::IndexOf(RowId id, int hint) const {
    if (hint >= 0 && hint < Count() && rows_[static_cast<size_t>(hint)].id == id) return hint;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].id == id) return static_cast<int>(i);
    return -1;
}

const std::string& FindingList::ColumnText(const Finding& f, int column) {
    static const std::string empty;
    switch (column) {
        case 0: return f.caption;
        case 1: return f.location;
        case 2: return f.keyName;
        case 3: return f.description;
        default: return empty;
    }
}

std::vector<int> FindingList::SortByColumn(int column, bool ascending) {
    std::vector<int> order(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    if (column < 0 || column > 3) return order;
    // Descending unless asked otherwise; equal rows keep their order either way.
    std::stable_sort(order.begin(), order.end(), [this, column, ascending](int a, int b) {
        const int c = CompareFindingText(ColumnText(rows_[static_cast<size_t>(a)].finding, column),
                                         ColumnText(rows_[static_cast<size_t>(b)].finding, column));
        return ascending ? c < 0 : c > 0;
    });
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    for (int i : order) sorted.push_back(std::move(rows_[static_cast<size_t>(i)]));
    rows_.swap(sorted);
    return order;
}

}  // namespace tw
