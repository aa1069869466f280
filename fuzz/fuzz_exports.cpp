// libFuzzer target: the fuzzer's bytes build a simulated machine (version,
// code page, registry trees around every key the exports read, device
// nodes, files, services, INF sources and copies, injected platform faults)
// and then call a sequence of exports with arguments. After every call:
// nothing is left open, every change lies inside that export's own targets
// (fuzz/allowlist.h), and the result is one the export can give. The
// sanitizers watch everything else.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "frame/px714sup.h"
#include "fuzz/allowlist.h"
#include "fuzz/pools.h"
#include "sim/machine.h"

using px714check::Call;
using px714check::Export;

namespace {

[[noreturn]] void Finding(const Call& call, const std::string& what, const sim::Machine& before) {
    std::fprintf(stderr, "\n==== FINDING in %s(\"%s\", \"%s\", %u) on %s, code page %u\n%s\n",
                 px714check::ExportName(call.which), call.text1.c_str(), call.text2.c_str(),
                 static_cast<unsigned>(call.number), sim::OsName(before.os()), before.codePage, what.c_str());
    std::fprintf(stderr, "Allowed:\n%s", px714check::AllowedChanges(before, call).Describe().c_str());
    std::abort();
}

// A text argument in a heap block of exactly its size, so that a read or
// write past its terminator is caught.
struct TextArg {
    explicit TextArg(const std::string& text) : bytes(text.size() + 1) {
        std::memcpy(bytes.data(), text.c_str(), text.size() + 1);
    }
    char* get() { return bytes.data(); }
    std::vector<char> bytes;
};

// What FindLegacyPlayers last reported, for the removal exports to take
// back as a setup program does.
struct Found {
    bool any = false;
    unsigned short index = 0;
    std::string name;
};

bool IsTerminated(const std::vector<char>& bytes) {
    for (char c : bytes)
        if (c == 0) return true;
    return false;
}

void RunCall(FuzzedDataProvider& in, sim::Machine& m, Found& found) {
    Call call{static_cast<Export>(in.ConsumeIntegralInRange<int>(0, px714check::kExportCount - 1)), "", "", 0};
    const bool useFound = found.any && in.ConsumeBool();
    // What earlier calls traced and searched is not part of the comparison.
    m.debugOutput.clear();
    m.files.searched.clear();
    m.infs.calls.clear();
    sim::Machine before = m;
    int result = 0;
    bool resultOk = true;
    switch (call.which) {
    case Export::CheckServiceName: {
        call.text1 = px714fuzz::ServiceNameArg(in);
        TextArg name(call.text1);
        result = CheckServiceName(name.get());
        resultOk = result == 0 || result == 1;
        break;
    }
    case Export::FindLegacyPlayers: {
        // Output pointers may be null; the buffer has exactly 128 bytes.
        const int form = in.ConsumeIntegralInRange(0, 3);
        std::unique_ptr<unsigned short> index(new unsigned short(0xBEEF));
        std::vector<char> name(128, '\xAB');
        result = FindLegacyPlayers((form & 1) ? nullptr : index.get(), (form & 2) ? nullptr : name.data());
        if (result == 0) {
            resultOk = *index == 0xBEEF;
            for (char c : name) resultOk = resultOk && c == '\xAB';
        } else if (result == 1 && form == 0) {
            resultOk = *index < 38 && IsTerminated(name);
            if (resultOk) {
                found.any = true;
                found.index = *index;
                found.name = name.data();
            }
        } else {
            resultOk = false;  // 1 needs both outputs
        }
        break;
    }
    case Export::InstallFilter:
    case Export::RemoveFilter: {
        call.text1 = px714fuzz::ServiceNameArg(in);
        call.text2 = px714fuzz::PathArg(in);
        TextArg name(call.text1), path(call.text2);
        result = call.which == Export::InstallFilter ? InstallFilter(name.get(), path.get())
                                                     : RemoveFilter(name.get(), path.get());
        resultOk = true;  // 0, or whatever code the platform gave
        break;
    }
    case Export::RegisterInf:
    case Export::UpdateInf: {
        call.text1 = px714fuzz::InfDirectoryArg(in);
        call.text2 = px714fuzz::InfNameArg(in);
        TextArg directory(call.text1), name(call.text2);
        result = call.which == Export::RegisterInf ? RegisterInf(directory.get(), name.get())
                                                   : UpdateInf(directory.get(), name.get());
        resultOk = result == 0 || result == -1;
        break;
    }
    case Export::RemoveDeviceForDeviceType: {
        call.text1 = px714fuzz::HardwareIdPrefixArg(in);
        call.number = px714fuzz::DeviceTypeArg(in);
        TextArg prefix(call.text1);
        result = RemoveDeviceForDeviceType(prefix.get(), call.number);
        resultOk = result == 0 || result == 1;
        break;
    }
    case Export::RemoveDeviceRegEntries:
        result = RemoveDeviceRegEntries();
        resultOk = result == 0;
        break;
    case Export::RemoveInstalledLegacyPlayer: {
        call.number = useFound ? found.index : px714fuzz::IndexArg(in);
        call.text1 = useFound ? found.name : px714fuzz::DisplayNameArg(in);
        TextArg name(call.text1);
        result = RemoveInstalledLegacyPlayer(call.number, name.get());
        resultOk = result == 1 && IsTerminated(name.bytes);
        break;
    }
    case Export::RemoveLegacyPlayerDrivers:
        result = RemoveLegacyPlayerDrivers();
        resultOk = result == 1;
        break;
    case Export::RemoveLegacyPlayerHook:
        result = RemoveLegacyPlayerHook();
        resultOk = result == 1;
        break;
    case Export::RemoveLegacyPlayerRemnants:
        call.number = useFound ? found.index : px714fuzz::IndexArg(in);
        result = RemoveLegacyPlayerRemnants(static_cast<int>(call.number));
        resultOk = result == 0;
        break;
    case Export::RemovePlayerRemnants:
        result = RemovePlayerRemnants();
        resultOk = result == 1;
        break;
    case Export::RemoveVolumeRegEntries:
        result = RemoveVolumeRegEntries();
        resultOk = result == 0;
        break;
    }

    if (m.OpenHandleCount() != 0) Finding(call, "left open: " + m.OpenHandleReport(), before);
    if (!resultOk) Finding(call, "unexpected result " + std::to_string(result), before);
    std::vector<px714check::Change> violations = px714check::Violations(before, m, call);
    if (!violations.empty()) {
        std::string what = "changes outside the export's targets:";
        for (const px714check::Change& change : violations) what += "\n  " + change.Describe();
        // The first key concerned, as it was before the call.
        for (const px714check::Change& change : violations) {
            if (change.kind != px714check::Change::KeyRemoved) continue;
            std::string path;
            for (const std::string& part : change.path) path += (path.empty() ? "" : "\\") + part;
            what += "\nBefore the call:\n" + before.Dump(path);
            break;
        }
        what += "\nTrace:\n" + m.TraceText();
        Finding(call, what, before);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    sim::Machine machine(px714fuzz::OsArg(in));
    sim::ScopedMachine scope(machine);
    px714fuzz::BuildMachine(in, machine);
    Found found;
    const int calls = in.ConsumeIntegralInRange(1, 6);
    for (int i = 0; i < calls && (i == 0 || in.remaining_bytes() > 0); ++i) RunCall(in, machine, found);
    return 0;
}
