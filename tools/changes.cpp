#include "tools/changes.h"

#include <algorithm>

namespace px714tool {

namespace {

// The two trees of one root walked side by side. Subkeys are kept in the
// registry's order on both sides, so one merge pass finds every pair.
class DiffVisitor {
public:
    virtual ~DiffVisitor() = default;
    virtual void KeyDeleted(const std::string& path, const sim::Key& key) = 0;  // a whole subtree
    virtual void KeyAdded(const std::string& path, const sim::Key& key) = 0;    // a whole subtree
    virtual void ValueDeleted(const std::string& path, const sim::Value& old) = 0;
    virtual void ValueAdded(const std::string& path, const sim::Value& now) = 0;
    virtual void ValueSet(const std::string& path, const sim::Value& old, const sim::Value& now) = 0;
};

bool SameValue(const sim::Value& a, const sim::Value& b) {
    return a.name == b.name && a.type == b.type && a.data == b.data;
}

const sim::Value* FindValueNamed(const sim::Key& key, const std::string& name) {
    for (const sim::Value& v : key.values)
        if (sim::CompareKeyNames(v.name, name) == 0) return &v;
    return nullptr;
}

void WalkValues(const sim::Key& b, const sim::Key& a, const std::string& path, DiffVisitor& visitor) {
    if (b.values.size() == a.values.size() &&
        std::equal(b.values.begin(), b.values.end(), a.values.begin(), SameValue))
        return;
    // A value whose name now differs in letter case was replaced: it counts
    // as deleted and added.
    for (const sim::Value& old : b.values) {
        const sim::Value* now = FindValueNamed(a, old.name);
        if (now == nullptr || now->name != old.name)
            visitor.ValueDeleted(path, old);
        else if (now->type != old.type || now->data != old.data)
            visitor.ValueSet(path, old, *now);
    }
    for (const sim::Value& now : a.values) {
        const sim::Value* old = FindValueNamed(b, now.name);
        if (old == nullptr || old->name != now.name) visitor.ValueAdded(path, now);
    }
}

void WalkKey(const sim::Key& b, const sim::Key& a, std::string& path, DiffVisitor& visitor) {
    WalkValues(b, a, path, visitor);
    size_t i = 0, j = 0;
    auto child = [&](const sim::Key& k) {
        std::string p = path;
        p += '\\';
        p += k.name;
        return p;
    };
    while (i < b.subkeys.size() || j < a.subkeys.size()) {
        int order = i == b.subkeys.size()   ? 1
                    : j == a.subkeys.size() ? -1
                                            : sim::CompareKeyNames(b.subkeys[i]->name, a.subkeys[j]->name);
        if (order < 0) {
            visitor.KeyDeleted(child(*b.subkeys[i]), *b.subkeys[i]);
            ++i;
        } else if (order > 0) {
            visitor.KeyAdded(child(*a.subkeys[j]), *a.subkeys[j]);
            ++j;
        } else if (b.subkeys[i]->name != a.subkeys[j]->name) {
            // The same key by the registry's rule, under a name of other
            // letter case: it was deleted and made anew.
            visitor.KeyAdded(child(*a.subkeys[j]), *a.subkeys[j]);
            visitor.KeyDeleted(child(*b.subkeys[i]), *b.subkeys[i]);
            ++i;
            ++j;
        } else {
            size_t length = path.size();
            path += '\\';
            path += a.subkeys[j]->name;
            WalkKey(*b.subkeys[i], *a.subkeys[j], path, visitor);
            path.resize(length);
            ++i;
            ++j;
        }
    }
}

void WalkRegistry(const sim::Registry& before, const sim::Registry& after, DiffVisitor& visitor) {
    const std::pair<const sim::Key*, const sim::Key*> roots[] = {
        {before.localMachine.get(), after.localMachine.get()},
        {before.currentUser.get(), after.currentUser.get()},
        {before.users.get(), after.users.get()},
    };
    for (auto& root : roots) {
        std::string path = root.first->name;
        WalkKey(*root.first, *root.second, path, visitor);
    }
}

// A device node is an instance key three levels below an Enum tree
// (Enum\USB\VID_066F&PID_3400\<instance>) that names its hardware.
bool IsDeviceInstance(const std::string& path, std::string* instanceId) {
    static const char* const kEnumRoots[] = {
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\",  // NT family
        "HKEY_LOCAL_MACHINE\\Enum\\",                             // 95/98/Me
    };
    for (const char* root : kEnumRoots) {
        size_t length = std::char_traits<char>::length(root);
        if (path.size() <= length || sim::CompareKeyNames(std::string_view(path).substr(0, length), root) != 0)
            continue;
        std::string rest = path.substr(length);
        if (std::count(rest.begin(), rest.end(), '\\') != 2) return false;
        *instanceId = rest;
        return true;
    }
    return false;
}

// The first hardware ID: the first text of a multi-string (NT), or the text
// up to its first comma (95/98/Me keep a comma-separated REG_SZ).
std::string FirstHardwareId(const sim::Value& v) {
    std::string text(v.data.begin(), v.data.end());
    size_t end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) {
        size_t comma = text.find(',');
        if (comma != std::string::npos) text.resize(comma);
    }
    return text;
}

Change Make(ChangeKind kind, const std::string& path, const std::string& valueName = std::string()) {
    Change c;
    c.kind = kind;
    c.path = path;
    c.valueName = valueName;
    return c;
}

class ChangeList : public DiffVisitor {
public:
    explicit ChangeList(Changes* changes) : changes_(changes) {}

    void KeyDeleted(const std::string& path, const sim::Key& key) override {
        Change c = Make(ChangeKind::KeyDeleted, path);
        c.count = key.values.size();
        changes_->items.push_back(c);
        for (const sim::Value& v : key.values) ValueDeleted(path, v);
        std::string instance;
        if (IsDeviceInstance(path, &instance)) {
            if (const sim::Value* id = FindValueNamed(key, "HardwareID")) {
                Change d = Make(ChangeKind::DeviceNodeRemoved, instance);
                d.detail = FirstHardwareId(*id);
                changes_->items.push_back(d);
            }
        }
        for (auto& sub : key.subkeys) KeyDeleted(path + "\\" + sub->name, *sub);
    }
    void KeyAdded(const std::string& path, const sim::Key& key) override {
        changes_->items.push_back(Make(ChangeKind::KeyAdded, path));
        for (const sim::Value& v : key.values) ValueAdded(path, v);
        for (auto& sub : key.subkeys) KeyAdded(path + "\\" + sub->name, *sub);
    }
    void ValueDeleted(const std::string& path, const sim::Value& old) override {
        Change c = Make(ChangeKind::ValueDeleted, path, old.name);
        c.before = old;
        changes_->items.push_back(c);
    }
    void ValueAdded(const std::string& path, const sim::Value& now) override {
        Change c = Make(ChangeKind::ValueAdded, path, now.name);
        c.after = now;
        changes_->items.push_back(c);
    }
    void ValueSet(const std::string& path, const sim::Value& old, const sim::Value& now) override {
        Change c = Make(ChangeKind::ValueSet, path, now.name);
        c.before = old;
        c.after = now;
        changes_->items.push_back(c);
    }

private:
    Changes* changes_;
};

class UndoWriter : public DiffVisitor {
public:
    UndoWriter(sim::RegFormat format, unsigned codePage) : writer_(format, codePage) {}

    void KeyDeleted(const std::string& path, const sim::Key& key) override {
        writer_.Key(path);
        for (const sim::Value& v : key.values) writer_.Value(v);
        for (auto& sub : key.subkeys) KeyDeleted(path + "\\" + sub->name, *sub);
        open_.clear();
    }
    void KeyAdded(const std::string& path, const sim::Key&) override {
        writer_.DeletedKey(path);
        open_.clear();
    }
    void ValueDeleted(const std::string& path, const sim::Value& old) override {
        Open(path);
        writer_.Value(old);
    }
    void ValueAdded(const std::string& path, const sim::Value& now) override {
        Open(path);
        writer_.DeletedValue(now.name);
    }
    void ValueSet(const std::string& path, const sim::Value& old, const sim::Value&) override {
        Open(path);
        writer_.Value(old);
    }
    std::string Finish() { return writer_.Finish(); }

private:
    void Open(const std::string& path) {
        if (open_ == path) return;
        writer_.Key(path);
        open_ = path;
    }
    sim::RegWriter writer_;
    std::string open_;  // the key whose [line] was written last
};

}  // namespace

const char* ChangeKindName(ChangeKind kind) {
    switch (kind) {
    case ChangeKind::KeyDeleted: return "keyDeleted";
    case ChangeKind::KeyAdded: return "keyAdded";
    case ChangeKind::ValueDeleted: return "valueDeleted";
    case ChangeKind::ValueAdded: return "valueAdded";
    case ChangeKind::ValueSet: return "valueSet";
    case ChangeKind::DeviceNodeRemoved: return "deviceNodeRemoved";
    case ChangeKind::ServiceCreated: return "serviceCreated";
    case ChangeKind::ServiceDeleted: return "serviceDeleted";
    case ChangeKind::FileDeleted: return "fileDeleted";
    case ChangeKind::FolderRemoved: return "folderRemoved";
    }
    return "?";
}

size_t Changes::Count(ChangeKind kind) const {
    return static_cast<size_t>(
        std::count_if(items.begin(), items.end(), [kind](const Change& c) { return c.kind == kind; }));
}

void DiffRegistry(const sim::Registry& before, const sim::Registry& after, Changes* changes) {
    ChangeList list(changes);
    WalkRegistry(before, after, list);
}

Changes DiffMachines(const sim::Machine& before, const sim::Machine& after) {
    Changes changes;
    DiffRegistry(before.registry, after.registry, &changes);
    return changes;
}

std::string UndoReg(const sim::Registry& before, const sim::Registry& after, sim::RegFormat format,
                    unsigned codePage) {
    UndoWriter undo(format, codePage);
    WalkRegistry(before, after, undo);
    return undo.Finish();
}

}  // namespace px714tool
