#include "app/ScanDriver.h"
#include "scanners/registry/KivChkRegErr.h"

namespace tw {

ScanCategories DefaultScanCategories() {
    ScanCategories c;
    c.hiveThread = [](const ScanContext& ctx, ScanSink& sink, HKEY root) {
        std::unique_ptr<TChkRegErr> t(new TChkRegErr(ctx, sink));
        t->FRootKey = root;
        return std::unique_ptr<WorkerThread>(std::move(t));
    };
    return c;
}

}  // namespace tw
