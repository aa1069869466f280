// libFuzzer target: the .reg importer (sim::ImportReg) and writer. The first
// byte chooses the import options (code page 1252 or 932, header required
// or not, header-less bytes taken as ANSI or not); the rest is the file.
// A text is taken whole or refused, and a refused text changes nothing. A
// taken text leaves a well-formed registry (subkeys in sorted order, no two
// keys or values of one name, parents linked), and the registry exported in
// either format imports into a fresh registry as the same tree (through
// Unicode, in code page 1252, and where the export replaced no character).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/machine.h"
#include "sim/regfile.h"

namespace {

[[noreturn]] void Finding(const std::string& what, const std::string& text) {
    std::fprintf(stderr, "\n==== FINDING in the .reg importer: %s\nText (%zu bytes):\n", what.c_str(), text.size());
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::abort();
}

// Sorted, unique, linked: what the registry functions rely on.
bool WellFormed(const sim::Key& key, std::string* where) {
    for (size_t i = 0; i < key.subkeys.size(); ++i) {
        const sim::Key& sub = *key.subkeys[i];
        if (sub.parent != &key || sub.deleted || sub.name.empty() || sub.name.find('\\') != std::string::npos) {
            *where = "bad subkey \"" + sub.name + "\" of " + key.name;
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
                *where = "two values named \"" + key.values[i].name + "\" in " + key.name;
                return false;
            }
    return true;
}

// The same tree: names, values (type and bytes) and order.
bool SameTree(const sim::Key& a, const sim::Key& b, std::string* where) {
    if (a.name != b.name) {
        *where = "key \"" + a.name + "\" came back as \"" + b.name + "\"";
        return false;
    }
    if (a.values.size() != b.values.size()) {
        *where = "values of " + a.name + " differ in number";
        return false;
    }
    for (size_t i = 0; i < a.values.size(); ++i) {
        const sim::Value& va = a.values[i];
        const sim::Value* vb = b.FindValue(va.name);
        if (vb == nullptr || vb->name != va.name || vb->type != va.type || vb->data != va.data) {
            *where = "value \"" + va.name + "\" of " + a.name + " came back differently";
            return false;
        }
    }
    if (a.subkeys.size() != b.subkeys.size()) {
        *where = "subkeys of " + a.name + " differ in number";
        return false;
    }
    for (size_t i = 0; i < a.subkeys.size(); ++i)
        if (!SameTree(*a.subkeys[i], *b.subkeys[i], where)) return false;
    return true;
}

bool SameRegistry(const sim::Registry& a, const sim::Registry& b, std::string* where) {
    return SameTree(*a.localMachine, *b.localMachine, where) && SameTree(*a.currentUser, *b.currentUser, where) &&
           SameTree(*a.users, *b.users, where);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    sim::RegImportOptions options;
    options.codePage = (flags & 1) ? 932 : 1252;
    options.requireHeader = (flags & 2) != 0;
    options.bytesAreAnsi = (flags & 4) != 0;

    sim::Registry registry;
    // Something there already, so that deletions and overwrites meet keys.
    sim::Key* keep = registry.CreatePath("HKLM\\SOFTWARE\\Keep");
    keep->SetValue("Value", REG_SZ, "text", 5);
    registry.CreatePath("HKCU\\Keep\\Sub")->SetValue("", REG_DWORD, "\1\0\0\0", 4);
    const sim::Registry before = registry;

    sim::RegImportStats stats;
    sim::RegError error;
    std::string where;
    if (!sim::ImportReg(registry, text, options, &stats, &error)) {
        if (!SameRegistry(before, registry, &where)) Finding("a refused text changed the registry: " + where, text);
        if (error.line < 1 || error.column < 1 || error.message.empty()) Finding("a refusal without its place", text);
        return 0;
    }
    for (const sim::Key* root : {registry.localMachine.get(), registry.currentUser.get(), registry.users.get()})
        if (!WellFormed(*root, &where)) Finding(where, text);

    // Round trip through the writer, in both formats.
    for (sim::RegFormat format : {sim::RegFormat::Regedit4, sim::RegFormat::Version5}) {
        sim::RegWriter writer(format, options.codePage);
        writer.Subtree(registry, registry.localMachine.get());
        for (const sim::Key* root : {registry.currentUser.get(), registry.users.get()})
            if (!root->subkeys.empty() || !root->values.empty()) writer.Subtree(registry, root);
        const std::string exported = writer.Finish();
        if (writer.charactersReplaced() != 0) continue;  // a text Unicode cannot hold: not expected back
        sim::Registry copy;
        copy.localMachine->subkeys.clear();  // a fresh registry's SOFTWARE\Classes comes from the file, if at all
        sim::RegImportOptions back;
        back.codePage = options.codePage;
        sim::RegError backError;
        if (!sim::ImportReg(copy, exported, back, nullptr, &backError))
            Finding(std::string(format == sim::RegFormat::Regedit4 ? "REGEDIT4" : "version 5") +
                        " export does not import: line " + std::to_string(backError.line) + ": " + backError.message,
                    text);
        // Code page 932 maps some characters of two byte forms (the NEC and
        // IBM extensions) to one Unicode character, which comes back in one
        // form only: through Unicode only 1252 keeps every byte.
        const bool bytesKept = format == sim::RegFormat::Regedit4 || options.codePage == 1252;
        if (bytesKept && !SameRegistry(registry, copy, &where))
            Finding(std::string(format == sim::RegFormat::Regedit4 ? "REGEDIT4" : "version 5") +
                        " export imports differently: " + where,
                    text);
    }
    return 0;
}
