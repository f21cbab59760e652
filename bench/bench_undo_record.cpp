// What the undo record adds to a repair: fills a scratch tree under
// HKEY_CURRENT_USER\Software\TarnwellBench\Undo with keys as repair finds them (each with values
// of several kinds and two subkeys) and single values, then times
//   (a) the deletions alone, as repair made them before undo files existed;
//   (b) the same deletions, each after its undo record is written.
// The tree is split into parts and the two runs take turns on the parts (in alternating order),
// so that a machine whose speed drifts during the run weighs on both alike.
// Usage: bench_undo_record [keys] [--reps N]   (default 2000 keys, as many values, 5 parts)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Stopwatch.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "repair/UndoFile.h"

namespace {

const char kBase[] = "Software\\TarnwellBench\\Undo";

void Set(HKEY key, const char* name, DWORD type, const void* data, DWORD size) {
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

// Part p: keys K0..K(n-1), each with values and two subkeys, and n values in the part's key.
void Fill(int part, int n) {
    const std::string base = std::string(kBase) + "\\P" + tw::IntToStr(part);
    HKEY values = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, base.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &values, nullptr);
    const char text[] = "C:\\Program Files\\Gone\\program.exe";
    const BYTE bin[64] = {1, 2, 3};
    const DWORD num = 7;
    for (int i = 0; i < n; ++i) {
        const std::string k = base + "\\K" + tw::IntToStr(i);
        for (const char* sub : {"", "\\Shell\\Open\\Command", "\\DefaultIcon"}) {
            HKEY key = nullptr;
            RegCreateKeyExA(HKEY_CURRENT_USER, (k + sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
            Set(key, "", REG_SZ, text, sizeof text);
            Set(key, "Path", REG_EXPAND_SZ, text, sizeof text);
            Set(key, "Flags", REG_DWORD, &num, sizeof num);
            Set(key, "Data", REG_BINARY, bin, sizeof bin);
            RegCloseKey(key);
        }
        Set(values, ("V" + tw::IntToStr(i)).c_str(), REG_SZ, text, sizeof text);
    }
    RegCloseKey(values);
}

double Repair(int part, int n, bool record, const std::string& folder) {
    const std::string base = std::string(kBase) + "\\P" + tw::IntToStr(part);
    tw::UndoFile undo;
    Stopwatch watch;
    if (record && !undo.Open(tw::RegFileFlavor::Unicode5, folder)) {
        fprintf(stderr, "cannot open an undo file in %s\n", folder.c_str());
        exit(1);
    }
    for (int i = 0; i < n; ++i) {
        const std::string k = base + "\\K" + tw::IntToStr(i);
        if (record && !undo.RecordKey(HKEY_CURRENT_USER, k)) exit(2);
        tw::Registry reg;
        reg.SetRootKey(HKEY_CURRENT_USER);
        reg.DeleteKey(k);
        const std::string v = "V" + tw::IntToStr(i);
        if (record && !undo.RecordValue(HKEY_CURRENT_USER, base, v)) exit(2);
        tw::Registry vreg;
        vreg.SetRootKey(HKEY_CURRENT_USER);
        if (vreg.OpenKey(base, false)) vreg.DeleteValue(v);
    }
    undo.Close();
    return watch.Seconds();
}

}  // namespace

int main(int argc, char** argv) {
    int keys = 2000, parts = 5;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--reps") && i + 1 < argc) parts = atoi(argv[++i]);
        else keys = atoi(argv[i]);
    }
    if (keys < parts || parts < 2) parts = 2;
    const int per = keys / parts;
    char tmp[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    const std::string folder = std::string(tmp) + "twbench-undo\\";

    double plain = 0, recorded = 0;
    for (int round = 0; round < parts; ++round) {
        // Each round fills two parts and repairs one with and one without records, the order
        // alternating from round to round.
        Fill(2 * round, per);
        Fill(2 * round + 1, per);
        const bool recordFirst = round % 2 == 1;
        const double first = Repair(2 * round, per, recordFirst, folder);
        const double second = Repair(2 * round + 1, per, !recordFirst, folder);
        (recordFirst ? recorded : plain) += first;
        (recordFirst ? plain : recorded) += second;
    }
    tw::Registry().DeleteKey(kBase);
    unsigned long long bytes = 0;
    for (const std::string& f : tw::ListUndoFiles(folder)) {
        WIN32_FILE_ATTRIBUTE_DATA d;
        if (GetFileAttributesExA(f.c_str(), GetFileExInfoStandard, &d)) bytes += d.nFileSizeLow;
        DeleteFileA(f.c_str());
    }
    RemoveDirectoryA(folder.c_str());

    const int done = per * parts;
    printf("repair of %d keys (each with 4 subkeys and 12 values) and %d values\n", done, done);
    printf("  deletions alone:        %.3f s\n", plain);
    printf("  with undo records:      %.3f s  (%llu KB of undo files)\n", recorded, bytes / 1024);
    printf("  ratio recorded / plain: %.2f\n", plain > 0 ? recorded / plain : 0.0);
    return 0;
}
