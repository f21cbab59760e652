#include <doctest.h>

#include <string>
#include <vector>

#include "app/ReportExport.h"
#include "platform/Language.h"
#include "platform/LoadText.h"
#include "scanners/IgnoreList.h"
#include "strings.h"
#include "support/RegistryFixtures.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

// The program speaks `language` while this lives.
struct Speaking {
    explicit Speaking(Language language) : before(CurrentLanguage()) { SetCurrentLanguage(language); }
    ~Speaking() { SetCurrentLanguage(before); }
    Language before;
};

bool Ascii(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

TEST_CASE("a text comes from the block of the language spoken, and a text of either language is its own") {
    for (unsigned id : {IDS_BUTTON_SCAN, IDS_CAPTION_DISK_FILE, IDS_ROW_SOFTWARE, IDS_STATUS_READY}) {
        CAPTURE(id);
        const std::string zh = LoadTextIn(Language::Chinese, id), en = LoadTextIn(Language::English, id);
        CHECK_FALSE(Ascii(zh));
        CHECK(Ascii(en));
        {
            Speaking s(Language::English);
            CHECK(LoadText(id) == en);
        }
        {
            Speaking s(Language::Chinese);
            CHECK(LoadText(id) == zh);
        }
        CHECK(IsTextOf(zh, id));
        CHECK(IsTextOf(en, id));
        CHECK_FALSE(IsTextOf(en + " ", id));
    }
    CHECK(LoadTextIn(Language::English, IDS_STATUS_READY, {"1.0"}).find("1.0") != std::string::npos);
    CHECK(LoadText(9999).empty());
}

TEST_CASE("the language: the stored choice where the code page shows it, else the user's") {
    // The tests run with the Chinese code page and interface language.
    REQUIRE(CanShowChinese());
    CHECK(SystemLanguage() == Language::Chinese);
    const struct {
        const char* stored;
        Language chosen;
    } rows[] = {{"zh", Language::Chinese}, {"en", Language::English}, {"", Language::Chinese}, {"fr", Language::Chinese}};
    for (const auto& row : rows) {
        CAPTURE(row.stored);
        CHECK(ChooseLanguage(row.stored) == row.chosen);
        Language code;
        if (LanguageFromCode(row.stored, code)) CHECK(LanguageCode(code) == std::string(row.stored));
    }
}

TEST_CASE("what was ignored or saved in one language still counts in the other") {
    ScratchDir dir;
    const std::string folder = dir.Dir("Gone");
    IgnoreList list(dir / "Ignore.ini");
    {
        Speaking s(Language::Chinese);
        REQUIRE(list.Add(IgnoredObject::Of(DiskFolderFinding(folder))));
    }
    IgnoreList reread(dir / "Ignore.ini");
    REQUIRE(reread.Load());
    Speaking s(Language::English);
    const Finding folderRow = DiskFolderFinding(folder), inside = DiskFileFinding(folder + "\\x.lnk");
    CHECK(Ascii(folderRow.caption));
    CHECK(reread.Contains(folderRow));
    CHECK(reread.Protects(inside));
    CHECK_FALSE(reread.Contains(DiskFolderFinding(folder + "2")));

    // A report saved in English reads back while the program speaks Chinese, kinds included.
    REQUIRE(WriteReportFile(dir / "report.txt", {folderRow, inside}));
    Speaking back(Language::Chinese);
    std::vector<Finding> rows;
    REQUIRE(ParseReportText(ReadFileBytes(dir / "report.txt"), rows));
    REQUIRE(rows.size() == 2);
    CHECK(rows[0].kind == FindingKind::Folder);
    CHECK(rows[1].kind == FindingKind::File);
}
