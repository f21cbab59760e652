#include <doctest.h>

#include "scanners/FindingList.h"

using namespace tw;

namespace {
Finding F(const std::string& caption, const std::string& loc = "", const std::string& key = "",
          const std::string& desc = "", FindingKind kind = FindingKind::RegistryKey) {
    return Finding{caption, loc, key, desc, 0, kind};
}
std::vector<std::string> Column(const FindingList& l, int c) {
    std::vector<std::string> out;
    for (int i = 0; i < l.Count(); ++i) out.push_back(FindingList::ColumnText(l.At(i), c));
    return out;
}
}  // namespace

TEST_CASE("sort comparison: ASCII folded, other bytes unsigned, prefix first") {
    struct Row { const char* a; const char* b; int sign; };
    const Row rows[] = {
        {"abc", "ABC", 0},
        {"abc", "abd", -1},
        {"Zeta", "alpha", 1},
        {"ab", "abc", -1},
        {"", "", 0},
        {"HKEY_USERS", "\xb4\xc5", -1},  // a GB2312 lead byte sorts above every ASCII letter
        {"\xb4\xc5\xc5\xcc\xce\xc4", "\xb4\xc5\xc5\xcc\xc4\xbf", 1},  // 磁盘文件 > 磁盘目录
        {"[", "a", 1},   // '[' (0x5B) is above 'A' once 'a' is folded
        {"\xe0", "\xc0", 1},  // high bytes are not folded
    };
    for (const Row& r : rows) {
        CAPTURE(r.a);
        CAPTURE(r.b);
        int c = CompareFindingText(r.a, r.b);
        CHECK((c > 0) - (c < 0) == r.sign);
    }
}

TEST_CASE("sorting by the caption puts disk rows first, then the roots descending; repeat keeps it") {
    FindingList l;
    l.Add(F("HKEY_CURRENT_USER", "1"));
    l.Add(F("磁盘目录错误", "2", "", "", FindingKind::Folder));
    l.Add(F("HKEY_USERS", "3"));
    l.Add(F("磁盘文件错误", "4", "", "", FindingKind::File));
    l.Add(F("HKEY_LOCAL_MACHINE", "5"));
    l.Add(F("HKEY_CURRENT_USER", "6"));
    l.MarkRepaired(0);
    std::vector<int> order = l.SortByColumn(0);
    CHECK(Column(l, 0) == std::vector<std::string>{"磁盘文件错误", "磁盘目录错误", "HKEY_USERS",
                                                   "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER",
                                                   "HKEY_CURRENT_USER"});
    // Equal rows keep their order, and the repaired mark travels with its row.
    CHECK(Column(l, 1) == std::vector<std::string>{"4", "2", "3", "5", "1", "6"});
    CHECK(order == std::vector<int>{3, 1, 2, 4, 0, 5});
    CHECK(l.At(4).Repaired());
    CHECK_FALSE(l.At(5).Repaired());
    l.SortByColumn(0);
    CHECK(Column(l, 1) == std::vector<std::string>{"4", "2", "3", "5", "1", "6"});
}

TEST_CASE("sorting by the other columns and outside them") {
    FindingList l;
    l.Add(F("A", "b", "x", "2"));
    l.Add(F("A", "a", "@D_e_f_a_u_l_t", "10"));
    l.Add(F("A", "c", "", "1"));
    l.SortByColumn(2);
    CHECK(Column(l, 2) == std::vector<std::string>{"x", "@D_e_f_a_u_l_t", ""});
    l.SortByColumn(2);
    CHECK(Column(l, 2) == std::vector<std::string>{"x", "@D_e_f_a_u_l_t", ""});
    l.SortByColumn(3);  // text order, not numeric
    CHECK(Column(l, 3) == std::vector<std::string>{"2", "10", "1"});
    l.SortByColumn(1);
    CHECK(Column(l, 1) == std::vector<std::string>{"c", "b", "a"});
    l.SortByColumn(-1);
    CHECK(Column(l, 1) == std::vector<std::string>{"c", "b", "a"});
    CHECK(l.UnrepairedCount() == 3);
    l.Clear();
    CHECK(l.Count() == 0);
}
