// .reg import and export: regedit's two formats, every value form, what the
// A functions see after an import, exact export, and refused texts.
#include <gtest/gtest.h>

#include <string>

#include "sim/machine.h"
#include "sim/regfile.h"

namespace {

using sim::RegFormat;

// What regedit writes for one key tree holding every value type; the two
// texts describe the same registry. Line ends are added as CRLF below.
const char16_t kVersion5[] = uR"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\Zumra Test]
@="Default text"
"Text"="C:\\Program Files\\Zumra \"PX714\""
"Empty"=""
"Café"="crème brûlée €5"
"Number"=dword:0000002a
"Max"=dword:ffffffff
"Binary"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\
  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\
  2f
"Größe"=hex:64,65,66,67,68,69,6a,6b,6c,6d,6e,6f,70,71,72,73,74,75,76,77,78,79,\
  7a,7b,7c,7d,7e,7f,80,81
"None"=hex(0):
"NoneData"=hex(0):01,02
"Unterminated"=hex(1):41,00,42,00
"Lines"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00,74,00,77,00,6f,00,00,00
"Expand"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,\
  00,25,00,5c,00,73,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,5c,00,64,00,\
  72,00,69,00,76,00,65,00,72,00,73,00,5c,00,76,00,78,00,73,00,63,00,73,00,69,\
  00,2e,00,73,00,79,00,73,00,00,00
"DwordOdd"=hex(4):01,02
"BigEndian"=hex(5):00,00,00,2a
"Link"=hex(6):5c,00,52,00
"Multi"=hex(7):56,00,78,00,73,00,63,00,73,00,69,00,00,00,4d,00,70,00,33,00,44,\
  00,72,00,76,00,00,00,5a,00,75,00,6d,00,72,00,61,00,20,00,c4,00,00,00,00,00
"Resources"=hex(8):01,00,00,00
"FullResource"=hex(9):02,00,00,00
"Requirements"=hex(a):03,00,00,00
"Quad"=hex(b):2a,00,00,00,00,00,00,00
"Odd type"=hex(100000):07

[HKEY_LOCAL_MACHINE\SOFTWARE\Zumra Test\Sub key]

[HKEY_LOCAL_MACHINE\SOFTWARE\Zumra Test\Sub key\Deeper]
"é"=dword:00000001

[HKEY_LOCAL_MACHINE\SOFTWARE\Zumra Test\Zeta]
@=""

)";

const char16_t kRegedit4[] = uR"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Zumra Test]
@="Default text"
"Text"="C:\\Program Files\\Zumra \"PX714\""
"Empty"=""
"Café"="crème brûlée €5"
"Number"=dword:0000002a
"Max"=dword:ffffffff
"Binary"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\
  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\
  2f
"Größe"=hex:64,65,66,67,68,69,6a,6b,6c,6d,6e,6f,70,71,72,73,74,75,76,77,78,79,\
  7a,7b,7c,7d,7e,7f,80,81
"None"=hex(0):
"NoneData"=hex(0):01,02
"Unterminated"=hex(1):41,42
"Lines"=hex(1):6f,6e,65,0d,0a,74,77,6f,00
"Expand"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,5c,73,79,73,74,65,6d,33,32,\
  5c,64,72,69,76,65,72,73,5c,76,78,73,63,73,69,2e,73,79,73,00
"DwordOdd"=hex(4):01,02
"BigEndian"=hex(5):00,00,00,2a
"Link"=hex(6):5c,00,52,00
"Multi"=hex(7):56,78,73,63,73,69,00,4d,70,33,44,72,76,00,5a,75,6d,72,61,20,c4,\
  00,00
"Resources"=hex(8):01,00,00,00
"FullResource"=hex(9):02,00,00,00
"Requirements"=hex(a):03,00,00,00
"Quad"=hex(b):2a,00,00,00,00,00,00,00
"Odd type"=hex(100000):07

[HKEY_LOCAL_MACHINE\SOFTWARE\Zumra Test\Sub key]

[HKEY_LOCAL_MACHINE\SOFTWARE\Zumra Test\Sub key\Deeper]
"é"=dword:00000001

[HKEY_LOCAL_MACHINE\SOFTWARE\Zumra Test\Zeta]
@=""

)";

// What Wine 8's regedit exported (regedit /e) after importing kVersion5:
// values sorted by name, a REG_SZ without terminator or with line breaks
// as a quoted text (\r and \n escapes), a two-byte REG_DWORD as dword: with
// two bytes of whatever followed it.
const char16_t kWineExport[] = uR"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\Zumra Test]
@="Default text"
"BigEndian"=hex(5):00,00,00,2a
"Binary"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\
  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\
  2f
"Café"="crème brûlée €5"
"DwordOdd"=dword:00720201
"Empty"=""
"Expand"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,\
  00,25,00,5c,00,73,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,5c,00,64,00,\
  72,00,69,00,76,00,65,00,72,00,73,00,5c,00,76,00,78,00,73,00,63,00,73,00,69,\
  00,2e,00,73,00,79,00,73,00,00,00
"FullResource"=hex(9):02,00,00,00
"Größe"=hex:64,65,66,67,68,69,6a,6b,6c,6d,6e,6f,70,71,72,73,74,75,76,77,78,79,\
  7a,7b,7c,7d,7e,7f,80,81
"Lines"="one\r\ntwo"
"Link"=hex(6):5c,00,52,00
"Max"=dword:ffffffff
"Multi"=hex(7):56,00,78,00,73,00,63,00,73,00,69,00,00,00,4d,00,70,00,33,00,44,\
  00,72,00,76,00,00,00,5a,00,75,00,6d,00,72,00,61,00,20,00,c4,00,00,00,00,00
"None"=hex(0):
"NoneData"=hex(0):01,02
"Number"=dword:0000002a
"Odd type"=hex(100000):07
"Quad"=hex(b):2a,00,00,00,00,00,00,00
"Requirements"=hex(a):03,00,00,00
"Resources"=hex(8):01,00,00,00
"Text"="C:\\Program Files\\Zumra \"PX714\""
"Unterminated"="AB"

[HKEY_LOCAL_MACHINE\SOFTWARE\Zumra Test\Sub key]

[HKEY_LOCAL_MACHINE\SOFTWARE\Zumra Test\Sub key\Deeper]
"é"=dword:00000001

[HKEY_LOCAL_MACHINE\SOFTWARE\Zumra Test\Zeta]
@=""

)";

const char kRoot[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Zumra Test";

// Line feeds to CRLF.
std::u16string Crlf(std::u16string_view text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c == u'\n') out += u'\r';
        out += c;
    }
    return out;
}

// A version 5 file as regedit stores it: byte-order mark, UTF-16LE.
std::string Utf16File(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

// Code page 1252 bytes of a text of Latin-1 letters and the euro sign.
std::string Cp1252(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        EXPECT_TRUE(c < 0x100 || c == 0x20AC) << "fixture holds a character outside the helper's range";
        out += static_cast<char>(c == 0x20AC ? 0x80 : c);
    }
    return out;
}

std::string Utf8(std::u16string_view text) {
    std::string out;
    sim::AppendUtf8(text, &out);
    return out;
}

std::vector<uint8_t> Bytes(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

struct Imported {
    bool ok = false;
    sim::RegImportStats stats;
    sim::RegError error;
};

Imported Import(sim::Registry& registry, std::string_view bytes, unsigned codePage = 1252) {
    Imported result;
    sim::RegImportOptions options;
    options.codePage = codePage;
    result.ok = sim::ImportReg(registry, bytes, options, &result.stats, &result.error);
    return result;
}

std::string Describe(const sim::RegError& e) {
    return "line " + std::to_string(e.line) + ", column " + std::to_string(e.column) + ": " + e.message;
}

TEST(RegFileTest, WhatRegeditWroteExportsBackByteForByte) {
    struct Row {
        const char* name;
        std::string bytes;
        RegFormat format;
        const char* encoding;
    } rows[] = {
        {"version 5, UTF-16LE", Utf16File(Crlf(kVersion5)), RegFormat::Version5, "UTF-16LE"},
        {"REGEDIT4, code page 1252", Cp1252(Crlf(kRegedit4)), RegFormat::Regedit4, "ANSI"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::Registry registry;
        Imported in = Import(registry, row.bytes);
        ASSERT_TRUE(in.ok) << Describe(in.error);
        EXPECT_EQ(in.stats.format, row.format);
        EXPECT_STREQ(in.stats.encoding, row.encoding);
        EXPECT_EQ(in.stats.keys, 4u);
        EXPECT_EQ(in.stats.values, 24u);
        EXPECT_EQ(in.stats.charactersReplaced, 0u);
        ASSERT_EQ(in.stats.roots, std::vector<std::string>{kRoot});
        std::string out = sim::ExportReg(registry, in.stats.roots, row.format, 1252);
        EXPECT_EQ(out, row.bytes);
    }
}

// Every value type through Wine's regedit and back. The one line that comes
// back otherwise is the text with line breaks: written as hex(1), which any
// regedit reads back exactly, where Wine writes escapes that Windows'
// regedit may not know.
TEST(RegFileTest, WhatWineRegeditExportedRoundTrips) {
    std::string wine = Utf16File(Crlf(kWineExport));
    sim::Registry registry;
    Imported in = Import(registry, wine);
    ASSERT_TRUE(in.ok) << Describe(in.error);
    const sim::Key* key = registry.FindPath(kRoot);
    EXPECT_EQ(key->FindValue("Lines")->data, Bytes(std::string("one\r\ntwo", 9)));
    EXPECT_EQ(key->FindValue("Unterminated")->data, Bytes(std::string("AB", 3)));
    std::u16string expected = kWineExport;
    std::u16string wineLine = u"\"Lines\"=\"one\\r\\ntwo\"";
    expected.replace(expected.find(wineLine), wineLine.size(),
                     u"\"Lines\"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00,74,00,77,00,6f,00,00,00");
    EXPECT_EQ(sim::ExportReg(registry, in.stats.roots, RegFormat::Version5, 1252), Utf16File(Crlf(expected)));
}

TEST(RegFileTest, BothFormatsHoldWhatTheAFunctionsSee) {
    sim::Machine fromVersion5, fromRegedit4;
    ASSERT_TRUE(Import(fromVersion5.registry, Utf16File(Crlf(kVersion5))).ok);
    ASSERT_TRUE(Import(fromRegedit4.registry, Cp1252(Crlf(kRegedit4))).ok);
    EXPECT_EQ(fromVersion5.Dump(kRoot), fromRegedit4.Dump(kRoot));

    const sim::Key* key = fromVersion5.registry.FindPath(kRoot);
    ASSERT_NE(key, nullptr);
    struct Row {
        const char* name;
        DWORD type;
        std::string data;
    } rows[] = {
        {"", REG_SZ, std::string("Default text", 13)},
        {"Text", REG_SZ, std::string("C:\\Program Files\\Zumra \"PX714\"", 31)},
        {"Empty", REG_SZ, std::string("", 1)},
        {"Caf\xE9", REG_SZ, std::string("cr\xE8me br\xFBl\xE9" "e \x80" "5", 16)},
        {"Number", REG_DWORD, std::string("\x2A\0\0\0", 4)},
        {"Max", REG_DWORD, std::string("\xFF\xFF\xFF\xFF", 4)},
        {"None", REG_NONE, std::string()},
        {"Unterminated", REG_SZ, std::string("AB")},
        {"Lines", REG_SZ, std::string("one\r\ntwo", 9)},
        {"Expand", REG_EXPAND_SZ, std::string("%SystemRoot%\\system32\\drivers\\vxscsi.sys", 41)},
        {"DwordOdd", REG_DWORD, std::string("\x01\x02", 2)},
        {"BigEndian", REG_DWORD_BIG_ENDIAN, std::string("\0\0\0\x2A", 4)},
        {"Link", REG_LINK, std::string("\x5C\0\x52\0", 4)},  // not a text type: bytes as written
        {"Multi", REG_MULTI_SZ, std::string("Vxscsi\0Mp3Drv\0Zumra \xC4\0\0", 23)},
        {"Quad", REG_QWORD, std::string("\x2A\0\0\0\0\0\0\0", 8)},
        {"Odd type", 0x100000, std::string("\x07")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const sim::Value* v = key->FindValue(row.name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, row.type);
        EXPECT_EQ(v->data, Bytes(row.data));
    }
    ASSERT_NE(fromVersion5.registry.FindPath(std::string(kRoot) + "\\Sub key\\Deeper"), nullptr);
    EXPECT_NE(fromVersion5.registry.FindPath(std::string(kRoot) + "\\Sub key\\Deeper")->FindValue("\xE9"), nullptr);
}

TEST(RegFileTest, Utf8IsReadLikeUtf16) {
    sim::Machine fromUtf16, withMark, withoutMark;
    ASSERT_TRUE(Import(fromUtf16.registry, Utf16File(Crlf(kVersion5))).ok);
    Imported a = Import(withMark.registry, "\xEF\xBB\xBF" + Utf8(Crlf(kVersion5)));
    Imported b = Import(withoutMark.registry, Utf8(kVersion5));  // and plain line feeds
    ASSERT_TRUE(a.ok) << Describe(a.error);
    ASSERT_TRUE(b.ok) << Describe(b.error);
    EXPECT_STREQ(a.stats.encoding, "UTF-8");
    EXPECT_STREQ(b.stats.encoding, "UTF-8");
    EXPECT_EQ(withMark.Dump(kRoot), fromUtf16.Dump(kRoot));
    EXPECT_EQ(withoutMark.Dump(kRoot), fromUtf16.Dump(kRoot));
}

TEST(RegFileTest, DoubleByteCodePageRoundTrips) {
    // 日本 and 日本語 in code page 932 (Shift-JIS): 93 FA 96 7B, 93 FA 96 7B 8C EA.
    std::u16string text = Crlf(u"Windows Registry Editor Version 5.00\n\n"
                               u"[HKEY_CURRENT_USER\\Software\\日本]\n"
                               u"\"名前\"=\"日本語\"\n"
                               u"\"Path\"=hex(2):e5,65,2c,67,00,00\n\n");
    sim::Registry registry;
    Imported in = Import(registry, Utf16File(text), 932);
    ASSERT_TRUE(in.ok) << Describe(in.error);
    const sim::Key* key = registry.FindPath("HKEY_CURRENT_USER\\Software\\\x93\xFA\x96\x7B");
    ASSERT_NE(key, nullptr);
    const sim::Value* name = key->FindValue("\x96\xBC\x91\x4F");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->data, Bytes(std::string("\x93\xFA\x96\x7B\x8C\xEA", 7)));
    EXPECT_EQ(key->FindValue("Path")->data, Bytes(std::string("\x93\xFA\x96\x7B", 5)));
    EXPECT_EQ(sim::ExportReg(registry, in.stats.roots, RegFormat::Version5, 932), Utf16File(text));
}

TEST(RegFileTest, CharactersTheCodePageCannotHoldBecomeQuestionMarks) {
    std::u16string text = Crlf(u"Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Ω]\n\"Ж\"=\"a→b\"\n\n");
    sim::Registry registry;
    Imported in = Import(registry, Utf16File(text));
    ASSERT_TRUE(in.ok) << Describe(in.error);
    EXPECT_EQ(in.stats.charactersReplaced, 3u);
    const sim::Key* key = registry.FindPath("HKEY_CURRENT_USER\\?");
    ASSERT_NE(key, nullptr);
    ASSERT_NE(key->FindValue("?"), nullptr);
    EXPECT_EQ(key->FindValue("?")->data, Bytes(std::string("a?b", 4)));
}

TEST(RegFileTest, DeletionsContinuationsAndComments) {
    sim::Machine machine;
    machine.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\n\"x\"=\"1\"\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone\\Below]\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]\n@=\"default\"\n\"Drop\"=\"1\"\n\"Stay\"=\"1\"\n");
    std::string text =
        "REGEDIT4\r\n"
        "; a comment line\r\n"
        "\r\n"
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n"
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Never there]\r\n"
        "\r\n"
        "  [HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]  \r\n"
        "@=-\r\n"
        "\"Drop\"=-\r\n"
        "   ; indented comment\r\n"
        "\"Bytes\" = hex:01, 02,\\\r\n"
        "      03 ,\\\r\n"
        "  04\r\n"
        "\"Number\"=DWORD:A\r\n"
        "[HKEY_CURRENT_CONFIG\\System\\CurrentControlSet]\r\n"
        "\"Ignored\"=\"1\"\r\n"
        "[HKCU\\Short Root]\r\n";
    Imported in = Import(machine.registry, text);
    ASSERT_TRUE(in.ok) << Describe(in.error);
    EXPECT_EQ(in.stats.keysDeleted, 2u);
    EXPECT_EQ(in.stats.valuesDeleted, 2u);
    EXPECT_EQ(in.stats.keysSkipped, 1u);
    EXPECT_FALSE(machine.KeyExists("HKLM\\SOFTWARE\\Gone"));
    EXPECT_EQ(machine.Dump("HKLM\\SOFTWARE\\Kept"),
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]\n"
              "\"Stay\"=\"1\"\n"
              "\"Bytes\"=hex:01,02,03,04\n"
              "\"Number\"=dword:0000000a\n");
    EXPECT_TRUE(machine.KeyExists("HKEY_CURRENT_USER\\Short Root"));
}

TEST(RegFileTest, ClassesRootKeysExportUnderTheirOwnRoot) {
    std::string text = "REGEDIT4\r\n\r\n"
                       "[HKEY_CLASSES_ROOT\\CLSID\\{343DA396-6C33-42EB-9478-C1EAF35FB908}]\r\n@=\"Drive menu\"\r\n\r\n"
                       "[HKEY_CLASSES_ROOT\\CLSID\\{343DA396-6C33-42EB-9478-C1EAF35FB908}\\InProcServer32]\r\n"
                       "@=\"C:\\\\WINDOWS\\\\SYSTEM\\\\vxmphook.dll\"\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Zumra]\r\n\r\n";
    sim::Machine machine;
    Imported in = Import(machine.registry, text);
    ASSERT_TRUE(in.ok) << Describe(in.error);
    EXPECT_EQ(in.stats.roots, (std::vector<std::string>{"HKEY_CLASSES_ROOT\\CLSID\\{343DA396-6C33-42EB-9478-C1EAF35FB908}",
                                                         "HKEY_CURRENT_USER\\Software\\Zumra"}));
    EXPECT_TRUE(machine.KeyExists("HKLM\\SOFTWARE\\Classes\\CLSID\\{343DA396-6C33-42EB-9478-C1EAF35FB908}\\InProcServer32"));
    EXPECT_EQ(sim::ExportReg(machine.registry, in.stats.roots, RegFormat::Regedit4, 1252), text);
}

TEST(RegFileTest, ExportAllGivesBackTheRegistry) {
    sim::Machine original;
    ASSERT_TRUE(Import(original.registry, Utf16File(Crlf(kVersion5))).ok);
    original.LoadReg("[HKEY_CURRENT_USER\\Software\\Zumra]\n\"a\"=\"b\"\n[HKEY_USERS\\.DEFAULT\\Software]\n");
    std::string all = sim::ExportAll(original.registry, RegFormat::Version5, 1252);
    sim::Machine copy;
    Imported in = Import(copy.registry, all);
    ASSERT_TRUE(in.ok) << Describe(in.error);
    for (const char* root : {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_USERS"}) {
        SCOPED_TRACE(root);
        EXPECT_EQ(copy.Dump(root), original.Dump(root));
    }
    // A fresh machine holds only HKLM\SOFTWARE\Classes: nothing of the other roots is written.
    EXPECT_EQ(sim::ExportAll(sim::Machine().registry, RegFormat::Regedit4, 1252),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE]\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes]\r\n\r\n");
}

TEST(RegFileTest, MalformedTextsAreRefusedWithTheirPositionAndChangeNothing) {
    const std::string good = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ok]\r\n\"Good\"=\"yes\"\r\n";
    struct Row {
        std::string bytes;
        int line, column;
        const char* message;  // a part of the message
    } rows[] = {
        {"REGEDIT5\r\n", 1, 1, "first line must be REGEDIT4"},
        {"REGEDIT4\r\n\"A\"=\"b\"\r\n", 2, 1, "before the first [key]"},
        {good + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Open\r\n", 5, 34, "must end with ']'"},
        {good + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X] junk\r\n", 5, 33, "nothing may follow the ']'"},
        {good + "[HKEY_LOCAL_MAGIC\\X]\r\n", 5, 2, "unknown root key 'HKEY_LOCAL_MAGIC'"},
        {good + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\X]\r\n", 5, 30, "empty name"},
        {good + "[]\r\n", 5, 2, "names no key"},
        {good + "[-HKEY_LOCAL_MACHINE]\r\n", 5, 2, "root key cannot be deleted"},
        {good + "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Ok]\r\n\"A\"=\"b\"\r\n", 6, 1, "after a [-key] line"},
        {good + "value without quotes\r\n", 5, 1, "a line holds a [key]"},
        {good + "\"Unclosed=dword:1\r\n", 5, 1, "the value name has no closing quote"},
        {good + "\"Name=\"x\"\r\n", 5, 8, "'=' expected"},
        {good + "\"A\"=\r\n", 5, 5, "no data after '='"},
        {good + "\"A\"=\"text\r\n", 5, 5, "the text has no closing quote"},
        {good + "\"A\"=\"text\" more\r\n", 5, 12, "nothing may follow the closing quote"},
        {good + "\"A\"=\"C:\\Windows\"\r\n", 5, 8, "unknown escape in a quoted text"},
        {good + "\"A\"=-x\r\n", 5, 6, "nothing may follow '=-'"},
        {good + "\"A\"=text\r\n", 5, 5, "unknown data"},
        {good + "\"A\"=dword:\r\n", 5, 11, "one to eight hexadecimal digits"},
        {good + "\"A\"=dword:123456789\r\n", 5, 19, "at most eight"},
        {good + "\"A\"=dword:12x4\r\n", 5, 13, "hexadecimal digits only"},
        {good + "\"A\"=hex;00\r\n", 5, 8, "':' expected after hex"},
        {good + "\"A\"=hex():00\r\n", 5, 9, "hexadecimal type number"},
        {good + "\"A\"=hex(2:00\r\n", 5, 8, "no closing ')'"},
        {good + "\"A\"=hex:01,2g\r\n", 5, 12, "two hexadecimal digits"},
        {good + "\"A\"=hex:01 02\r\n", 5, 12, "',' expected between bytes"},
        {good + "\"A\"=hex:012\r\n", 5, 11, "',' expected between bytes"},
        {good + "\"A\"=hex:01,\r\n", 5, 12, "a byte is expected after ','"},
        {good + "\"A\"=hex:01,\\ x\r\n", 5, 12, "continues a line only at its end"},
        {good + "\"A\"=hex:01,\\", 5, 12, "the file ends after a '\\'"},
        {good + "\"A\"=hex:01,\\\r\n  02,zz\r\n", 6, 6, "two hexadecimal digits"},
        // Columns count characters, also in Unicode files.
        {Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Ok]\r\n\"Größe\"=\"x\r\n"), 4, 9,
         "the text has no closing quote"},
        {"\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Ok]\r\n\"Gr\xC3\xB6\xC3\x9F" "e\"=\"x\r\n",
         4, 9, "the text has no closing quote"},
        {"\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\Ok]\r\n\"Gr\xC3\xB6\xFF\"=\"x\"\r\n", 3, 5,
         "not well-formed UTF-8"},
        {std::string("\xFF\xFEW\0i", 5), 1, 1, "odd number of bytes"},
        {std::string("\xFE\xFF\0W", 4), 1, 1, "big-endian"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bytes);
        sim::Machine machine;
        machine.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Existing]\n\"v\"=\"1\"\n[HKEY_CURRENT_USER\\Existing]\n");
        std::string before = machine.Dump("HKEY_LOCAL_MACHINE") + machine.Dump("HKEY_CURRENT_USER");
        Imported in = Import(machine.registry, row.bytes);
        ASSERT_FALSE(in.ok);
        EXPECT_EQ(in.error.line, row.line) << Describe(in.error);
        EXPECT_EQ(in.error.column, row.column) << Describe(in.error);
        EXPECT_NE(in.error.message.find(row.message), std::string::npos) << Describe(in.error);
        EXPECT_EQ(machine.Dump("HKEY_LOCAL_MACHINE") + machine.Dump("HKEY_CURRENT_USER"), before);
    }
}

TEST(RegFileTest, LoadRegTakesAnsiTextWithoutHeaderAndThrowsWithThePosition) {
    sim::Machine machine;
    machine.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"Caf\xE9\"=\"\xE9t\xE9\"\n");
    EXPECT_EQ(machine.Dump("HKLM\\SOFTWARE\\A"), "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"Caf\xE9\"=\"\xE9t\xE9\"\n");
    try {
        machine.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\n\"x\"=dword:zz\n");
        FAIL() << "a malformed text was accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "line 2, column 11: dword: needs one to eight hexadecimal digits");
    }
    EXPECT_FALSE(machine.KeyExists("HKLM\\SOFTWARE\\B"));
}

}  // namespace

namespace {

// Found by fuzzing the importer and writer: a value name holding a line
// break was written raw, so the export did not import again.
TEST(RegFileTest, ValueNamesWithLineBreaksRoundTrip) {
    for (RegFormat format : {RegFormat::Regedit4, RegFormat::Version5}) {
        sim::Machine original;
        sim::Key* key = original.registry.CreatePath("HKEY_CURRENT_USER\\Software\\Keep");
        key->SetValue("a\n \"b\"\r\\c", REG_SZ, "x", 2);
        std::string text = sim::ExportAll(original.registry, format, 1252);
        EXPECT_NE(text.find(format == RegFormat::Regedit4 ? "\"a\\n \\\"b\\\"\\r\\\\c\"=\"x\"" : "a"), std::string::npos);
        sim::Machine copy;
        Imported in = Import(copy.registry, text);
        ASSERT_TRUE(in.ok) << Describe(in.error);
        EXPECT_EQ(copy.Dump("HKCU"), original.Dump("HKCU"));
    }
}

}  // namespace
