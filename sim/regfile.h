// .reg files, as regedit reads and writes them.
//
// Two formats: REGEDIT4 (ANSI text in the machine's code page) and "Windows
// Registry Editor Version 5.00" (UTF-16LE with a byte-order mark as regedit
// writes it; UTF-8 is accepted too). The simulated registry holds what the A
// functions see: ANSI bytes. Version 5 texts are therefore converted from
// Unicode to the machine's code page on import, and back on export; so are
// the expandable, multi-string and hex(1) string values, which version 5
// files hold as UTF-16LE bytes and REGEDIT4 files as code-page bytes.
//
// An import is all or nothing: the text is read to its end before the
// registry is touched, and a text with an error changes nothing.
#ifndef PX714SUP_SIM_REGFILE_H
#define PX714SUP_SIM_REGFILE_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/codepage.h"
#include "sim/registry.h"

namespace sim {

enum class RegFormat { Regedit4, Version5 };

// Where a .reg text is wrong: 1-based line and column (characters of the line).
struct RegError {
    int line = 0;          // physical line of the file
    int column = 0;        // character of that line
    std::string message;   // what is wrong, in plain words
};

struct RegImportOptions {
    unsigned codePage = 1252;    // the machine's ANSI code page
    bool requireHeader = true;   // regedit refuses a file without its first line
    bool bytesAreAnsi = false;   // text without a byte-order mark is ANSI even under a version 5 header
    // Called now and then with the part of the work done, 0 to total.
    std::function<void(size_t done, size_t total)> progress;
};

struct RegImportStats {
    RegFormat format = RegFormat::Regedit4;  // from the header line
    const char* encoding = "ANSI";   // "UTF-16LE", "UTF-8", "ANSI" or "ASCII"
    size_t keys = 0;                 // [KEY] lines
    size_t keysDeleted = 0;          // [-KEY] lines
    size_t values = 0;               // values set
    size_t valuesDeleted = 0;        // "name"=- lines
    size_t keysSkipped = 0;          // keys under roots the machine does not hold
    size_t charactersReplaced = 0;   // characters the code page cannot hold, now '?'
    // The subtrees the text covers, in file order: exporting them gives back
    // a file that regedit wrote.
    std::vector<std::string> roots;
};

// Reads a .reg file's bytes into the registry. Returns false, fills *error
// and leaves the registry as it was when the text is not a well-formed
// .reg file. stats may be null.
bool ImportReg(Registry& registry, std::string_view bytes, const RegImportOptions& options,
               RegImportStats* stats, RegError* error);

// Writes .reg text as regedit does: the header, then each key after a blank
// line, CRLF line ends, REG_SZ as "text", REG_DWORD as dword:, every other
// value as hex: (REG_BINARY) or hex(N): wrapped at 80 columns with "\"
// continuations and two-space indents, and a blank line at the end.
// A REG_SZ that regedit could not write as a quoted text (no terminating
// zero, a zero inside, a line break) is written as hex(1).
class RegWriter {
public:
    RegWriter(RegFormat format, unsigned codePage);
    void Key(std::string_view path);          // [path]
    void DeletedKey(std::string_view path);   // [-path]
    void Value(const sim::Value& value);      // "name"=data, or @=data
    void DeletedValue(std::string_view name); // "name"=-
    // A key and every key below it, in enumeration order, with their values.
    void Subtree(const Registry& registry, const sim::Key* key);
    // The file's bytes: UTF-16LE with its byte-order mark (version 5) or
    // code-page bytes (REGEDIT4).
    std::string Finish();
    // Characters of the registry's ANSI texts that do not survive the trip
    // through Unicode (a broken double-byte sequence).
    size_t charactersReplaced() const { return replaced_; }

private:
    void Ascii(std::string_view text);
    void Wide(std::u16string_view text);
    size_t Ansi(std::string_view text);   // returns the characters written
    size_t Escaped(std::string_view text);
    RegFormat format_;
    CodePage cp_;
    std::string out_;          // the file's bytes so far
    size_t replaced_ = 0;
    std::u16string scratch_;
};

// The subtrees at the given full paths, as regedit exports them.
std::string ExportReg(const Registry& registry, const std::vector<std::string>& paths, RegFormat format,
                      unsigned codePage);
// Every key of the machine: HKEY_LOCAL_MACHINE, and HKEY_CURRENT_USER and
// HKEY_USERS where they hold anything. Importing it into a fresh machine
// gives back this registry.
std::string ExportAll(const Registry& registry, RegFormat format, unsigned codePage);

}  // namespace sim

#endif  // PX714SUP_SIM_REGFILE_H
