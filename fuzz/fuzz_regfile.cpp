// libFuzzer target: the .reg importer (sim::Machine::LoadReg). A text is
// either taken whole or refused with std::runtime_error, and a refused text
// changes nothing. A taken text leaves a well-formed registry (subkeys in
// sorted order, no two of one name, parents linked), and what Dump shows
// of it loads back into the same registry.
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "sim/machine.h"

namespace {

[[noreturn]] void Finding(const std::string& what, const std::string& text) {
    std::fprintf(stderr, "\n==== FINDING in LoadReg: %s\nText:\n%s\n", what.c_str(), text.c_str());
    std::abort();
}

const char* const kRoots[] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_USERS"};

std::string DumpAll(const sim::Machine& m) {
    std::string all;
    for (const char* root : kRoots) all += m.Dump(root) + "\n";
    return all;
}

// Sorted, unique, linked: what the registry functions rely on.
bool WellFormed(const sim::Key& key, std::string* where) {
    for (size_t i = 0; i < key.subkeys.size(); ++i) {
        const sim::Key& sub = *key.subkeys[i];
        if (sub.parent != &key || sub.deleted || sub.name.empty()) {
            *where = "bad subkey " + sub.name + " of " + key.name;
            return false;
        }
        if (i > 0 && sim::CompareKeyNames(key.subkeys[i - 1]->name, sub.name) >= 0) {
            *where = "subkeys out of order below " + key.name + ": " + key.subkeys[i - 1]->name + ", " + sub.name;
            return false;
        }
        if (!WellFormed(sub, where)) return false;
    }
    for (size_t i = 0; i < key.values.size(); ++i)
        for (size_t j = i + 1; j < key.values.size(); ++j)
            if (sim::CompareKeyNames(key.values[i].name, key.values[j].name) == 0) {
                *where = "two values named " + key.values[i].name + " in " + key.name;
                return false;
            }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    sim::Machine machine;
    // Something there already, so that deletions and overwrites meet keys.
    machine.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep]\n\"Value\"=\"text\"\n[HKEY_CURRENT_USER\\Keep\\Sub]\n@=dword:00000001\n");
    const std::string before = DumpAll(machine);
    try {
        machine.LoadReg(text);
    } catch (const std::runtime_error&) {
        if (DumpAll(machine) != before) Finding("a refused text changed the registry", text);
        return 0;
    }
    std::string where;
    for (const sim::Key* root : {machine.registry.localMachine.get(), machine.registry.currentUser.get(),
                                 machine.registry.users.get()})
        if (!WellFormed(*root, &where)) Finding(where, text);

    // Round trip: the dump of each root loads into an empty machine as the same tree.
    const std::string dumped = DumpAll(machine);
    sim::Machine copy;
    try {
        copy.LoadReg("[-HKEY_LOCAL_MACHINE\\SOFTWARE]\n");  // a new machine's only key
        for (const char* root : kRoots) copy.LoadReg(machine.Dump(root));
    } catch (const std::runtime_error& error) {
        Finding(std::string("the dump does not load back: ") + error.what() + "\nDump:\n" + dumped, text);
    }
    if (DumpAll(copy) != dumped) Finding("the dump loads back differently:\n" + dumped + "\n---\n" + DumpAll(copy), text);
    return 0;
}
