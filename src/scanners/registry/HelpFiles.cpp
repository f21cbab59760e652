#include "scanners/registry/HelpFiles.h"

#include "platform/Text.h"
#include "scanners/PathCheck.h"
#include "scanners/PathText.h"
#include "scanners/registry/ValueTexts.h"

namespace tw {

namespace {

const char kMachine[] = "HKEY_LOCAL_MACHINE";
const char kHelpKey[] = "Software\\Microsoft\\Windows\\Help";
const char kHtmlHelpKey[] = "Software\\Microsoft\\Windows\\HTML Help";

}  // namespace

void ScanHelpFiles(const ScanContext& ctx, ScanSink& sink) {
    FolderListings listings([&] { sink.ProcessMessages(); });
    for (const char* key : {kHelpKey, kHtmlHelpKey}) {
        const bool html = key == kHtmlHelpKey;
        for (GuardedText& value : GuardedTextsOf(HKEY_LOCAL_MACHINE, key, sink)) {
            sink.ProcessMessages();
            if (!value.exact) continue;
            const std::string& file = value.name;
            std::string& folder = value.text;
            if (!StartsWithDriveCtoZ(folder)) continue;
            if (!EndsWithBackslash(folder)) folder += '\\';
            if (!IsNoFile(listings.Judge(folder + file))) continue;
            // The system's own HTML help lives in the Windows folder and is not judged.
            if (html && !ctx.windowsDir.empty() && Contains(folder, ctx.windowsDir.c_str())) continue;
            // The key's unnamed value is a value of its own: its row must never stand for the key.
            Finding f = NamedOrDefaultValueFinding(kMachine, key, file, "无效帮助" + folder);
            f.missingPaths.push_back(folder + file);
            f.missingRule = Finding::Missing::NoFile;
            AddAndPause(sink, f);
        }
    }
}

}  // namespace tw
