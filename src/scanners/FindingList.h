// The Findings of the last scan: the model behind the report list. The list view only shows
// it; the sort sorts it and repair reads and marks it.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "scanners/Finding.h"

namespace tw {

// The report list's sort comparison: ASCII a-z folded to upper case, every other byte by its
// unsigned value, a prefix before the longer text.
int CompareFindingText(const std::string& a, const std::string& b);

// A row's identity: it stays with the row through every sort and is never given to another
// row of the same list, also not after Clear. Code that pauses (a question, a long deletion)
// finds its row again by it instead of by an index taken earlier.
using RowId = unsigned long long;

class FindingList {
public:
    void Add(const Finding& f) { rows_.push_back(Row{f, nextId_++, f.image}); }
    int Count() const { return static_cast<int>(rows_.size()); }
    void Clear() { rows_.clear(); }
    const Finding& At(int i) const { return rows_.at(static_cast<size_t>(i)).finding; }
    RowId IdAt(int i) const { return rows_.at(static_cast<size_t>(i)).id; }
    // Index of the row with that identity, -1 when the list no longer holds it. `hint` is
    // looked at first (the row's index when the identity was taken).
    int IndexOf(RowId id, int hint = -1) const;
    void MarkRepaired(int i) {
        Row& r = rows_.at(static_cast<size_t>(i));
        if (r.finding.image != kImageRepaired) r.imageBefore = r.finding.image;
        r.finding.image = kImageRepaired;
    }
    // The row shows again as it did before it was marked repaired (what it names is back).
    void Unmark(int i) {
        Row& r = rows_.at(static_cast<size_t>(i));
        if (r.finding.image == kImageRepaired) r.finding.image = r.imageBefore;
    }
    int UnrepairedCount() const;
    // Removes every row for which pred is true; the other rows keep their order and identity.
    // Returns how many went.
    int RemoveWhere(const std::function<bool(const Finding&)>& pred);
    // Column 0 caption, 1 location, 2 key name, 3 description. Descending unless `ascending`;
    // rows that compare equal keep their order. A column outside 0..3 leaves the order alone.
    // Returns, for each new position, the row's old index (so a selection can follow its row).
    std::vector<int> SortByColumn(int column, bool ascending = false);
    // The text a column shows for a row (empty outside 0..3).
    static const std::string& ColumnText(const Finding& f, int column);

private:
    struct Row {
        Finding finding;
        RowId id;
        int imageBefore;  // the image before the row was marked repaired
    };
    std::vector<Row> rows_;
    RowId nextId_ = 1;
};

}  // namespace tw
