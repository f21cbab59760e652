// The objects the user asked never to see again: "Ignore.ini" beside the program lists them by
// caption, location and key name, and every scan drops a Finding that names one of them, so
// neither the window, the console scanner nor repair meets it again.
#pragma once
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "scanners/Finding.h"
#include "scanners/ScanSink.h"

namespace tw {

struct IgnoredObject {
    std::string caption, location, keyName;

    static IgnoredObject Of(const Finding& f) { return {f.caption, f.location, f.keyName}; }
    bool operator<(const IgnoredObject& o) const {
        return std::tie(caption, location, keyName) < std::tie(o.caption, o.location, o.keyName);
    }
    bool operator==(const IgnoredObject& o) const {
        return caption == o.caption && location == o.location && keyName == o.keyName;
    }
};

// The data folder + "Ignore.ini".
std::string IgnoreListPath();
// The list an older portable use left beside the program, when the data is kept elsewhere now;
// empty otherwise.
std::string OlderIgnoreListPath();

class IgnoreList {
public:
    // The user's list.
    IgnoreList() : IgnoreList(IgnoreListPath(), OlderIgnoreListPath()) {}
    // The list at path; until that file exists, olderPath (when given) is read in its place.
    explicit IgnoreList(std::string path, std::string olderPath = std::string())
        : path_(std::move(path)), olderPath_(std::move(olderPath)) {}

    const std::string& Path() const { return path_; }
    // Reads the file; a missing file is an empty list. False (and an empty list) when the file
    // is there but cannot be read.
    bool Load();
    // Adds one object and writes the file; adding one already listed changes nothing. False
    // when the file could not be written (the list in memory keeps the object).
    bool Add(const IgnoredObject& object);
    // Takes objects off the list and writes the file.
    bool Remove(const std::vector<IgnoredObject>& objects);
    // Whether the row names an object on the list. Letter case does not count (ASCII letters),
    // as in the registry and the file system.
    bool Contains(const Finding& f) const { return set_.count(Folded(IgnoredObject::Of(f))) != 0; }
    // Whether repairing the row would touch an object on the list: the row names one, or a key
    // or folder that holds one, or a value or file inside a key or folder on the list.
    bool Protects(const Finding& f) const;
    // In the order they were added.
    const std::vector<IgnoredObject>& Items() const { return items_; }

    // One field as the file stores it: "%" and the control characters as "%XX", so that tabs,
    // line breaks and leading or trailing blanks survive; every other byte (the second bytes of
    // double-byte characters included) as it is.
    static std::string EscapeField(const std::string& text);
    static bool UnescapeField(const std::string& text, std::string& out);

private:
    bool Save() const;
    static IgnoredObject Folded(IgnoredObject o);

    std::string path_;
    std::string olderPath_;
    std::vector<IgnoredObject> items_;
    std::set<IgnoredObject> set_;  // the items with their letters folded
};

// Passes everything to the target but Findings on the list (everything, without a list).
class IgnoringSink : public ScanSink {
public:
    IgnoringSink(ScanSink& target, const IgnoreList* ignored) : target_(target), ignored_(ignored) {}
    void AddFinding(const Finding& f) override {
        if (!ignored_ || !ignored_->Contains(f)) target_.AddFinding(f);
    }
    void ShowStatus(const std::string& text) override { target_.ShowStatus(text); }
    void ProcessMessages() override { target_.ProcessMessages(); }

private:
    ScanSink& target_;
    const IgnoreList* ignored_;
};

}  // namespace tw
