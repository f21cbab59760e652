// Runs in a scratch prefix (tests/msi_product_prefix.sh) where a real MSI product is installed
// and its program folder deleted by hand: the uninstall scan reports its entry, repair of the
// row has the prefix's own installer remove the product, and the next scan finds nothing.
#include <doctest.h>

#include <cstdlib>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Seams.h"
#include "repair/Repair.h"
#include "repair/RepairLog.h"
#include "repair/UndoFile.h"
#include "scanners/registry/UninstallEntries.h"
#include "support/QuietRepairView.h"
#include "support/ScriptedRepairUi.h"
#include "support/RegistryFixtures.h"
#include "support/Sandbox.h"

using namespace tw;
using namespace tw::test;

namespace {

std::vector<Finding> ProductRows(const std::string& code) {
    ScanContext ctx;
    ctx.windowsDir = WindowsDirectory();
    CollectingSink sink;
    ScanUninstallEntries(ctx, sink);
    std::vector<Finding> rows;
    for (const Finding& f : sink.findings)
        if (f.location.find(code) != std::string::npos) rows.push_back(f);
    return rows;
}

}  // namespace

TEST_CASE("a product whose folder was deleted by hand: reported, then removed by its installer") {
    const char* code = getenv("TW_MSI_PRODUCT");
    REQUIRE_MESSAGE(code, "run by tests/msi_product_prefix.sh");
    std::vector<Finding> rows = ProductRows(code);
    REQUIRE(rows.size() == 1);
    CHECK(rows[0].kind == FindingKind::ProductUninstall);
    REQUIRE(rows[0].missingPaths.size() == 1);
    CHECK(rows[0].missingPaths[0].find("TwMsiProbe") != std::string::npos);

    DeleteFileA(RepairLogPath().c_str());
    ScriptedRepairUi ui;
    FindingList list;
    list.Add(rows[0]);
    QuietRepairView view;
    Repairer(list, view, ui, RepairContext{5}, nullptr).RepairSelected();
    // The question, then what the installer said.
    CHECK(ui.heard == std::vector<std::string>{"ConfirmRow", "ProductUninstalled"});
    CHECK(ui.productRepaired);
    CHECK(ui.product.code == "0");
    CHECK(list.At(0).Repaired());
    CHECK(ReadFileBytes(RepairLogPath()).find(ui.product.said) != std::string::npos);
    // The installer changed the registry, not the repair: no undo file.
    CHECK(ListUndoFiles().empty());
    CHECK(ProductRows(code).empty());
}
