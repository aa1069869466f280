/* Conformance scenarios: one text format that the Wine driver (driver.c,
 * 32-bit Windows) and the host test runner (tests/conformance_test.cpp, the
 * simulated machine) both read. This file and scenario.c are plain C with
 * no platform calls, built into both.
 *
 * A scenario file is read line by line. '#' starts a comment line; blank
 * lines are passed over (inside a block too). Texts in double quotes take
 * the escapes \\ \" \n \r \t and \xHH.
 *
 *   export NAME ORDINAL ARG...   a row of the export table: the export's
 *                                name, its ordinal, and the arguments of a
 *                                call that changes nothing (one per argument
 *                                the export takes)
 *
 *   scenario NAME                starts a scenario
 *   modes MODE...                where it runs: win95 win98 winme nt40 win2k
 *                                winxp, or 9x, nt, all
 *   host-only REASON...          run on the simulated machine only
 *   when MODE...                 the lines that follow count only in those
 *                                modes, up to the next `when` ("when all")
 *
 *   The starting machine:
 *   owns KEY                     a registry key the scenario owns: removed
 *                                with its subkeys before and after the
 *                                scenario, and shown afterwards; every key the
 *                                reg block creates lies at or below one
 *   owns-path PATH               a file or folder, likewise (C:\...)
 *   windir PATH                  the Windows directory the scenario expects
 *   reg ... end                  .reg text: [KEY], [-KEY], "name"="text",
 *                                @="text", dword:, hex:, hex(N):, "name"=-
 *   files ... end                one file a line, a folder when it ends in a
 *                                backslash, then any of readonly hidden in-use
 *                                driver-image (a loadable do-nothing driver)
 *   service NAME KEY=VALUE...    a service made through the service manager
 *                                (type= start= error= image= group= display=
 *                                running=1); owned like a key
 *   owns-service NAME            a service the calls may make: removed before
 *                                and after, and its state shown
 *   start-result NAME CODE       what starting the service NAME gives on the
 *                                simulated machine, which does not load
 *                                driver images (Wine shows it by itself)
 *   message CODE...              a trace piece that is the system's text for
 *                                one of these codes is shown as "message CODE"
 *                                (each system words its texts its own way)
 *   inf PATH ... end             a source INF file and its text
 *
 *   The calls, in order:
 *   lasterror N                  the thread's last error before the next call
 *                                (0 when not given)
 *   call EXPORT ARG...           ARG: an integer, a "text", &index / &name
 *                                (the index and 200-byte name buffers the
 *                                scenario keeps), or index (the value in the
 *                                index buffer)
 *   exports                      shows the whole export table (see below)
 *   show-lasterror               each call also shows "lasterror N", the
 *                                thread's last error after it
 *
 *   expect ... end               the lines the scenario must show, exactly
 *   unordered "TEXT"             trace pieces that begin with TEXT and follow
 *                                one another are compared without regard to
 *                                their order (a folder's entries, which a file
 *                                system may list in an order of its own)
 *
 * `when` and the `modes` and `host-only` lines are read wherever they
 * stand, inside a block too; a block must begin and end under the same
 * `when`.
 *
 * What a scenario shows, in this order: for `exports`, one line per
 * export-table row, "export NAME @ORD removes N bytes"; for each call "call
 * EXPORT", "result N", "lasterror N" where asked, "index N" and "name TEXT"
 * when the call was given those buffers ("name untouched" while it holds
 * its filling), one "trace TEXT" per debug output piece; then each owned
 * key as .reg lines (values sorted by name, "[-KEY]" when it is gone), each
 * owned path as lines of files and empty folders (sorted; "gone PATH" when
 * it is gone), each owned service ("service NAME running", "stopped" or
 * "gone"), and the INF copies the calls made ("inf copy DRIVERVER-LINE",
 * sorted). Anything else a side notices (a stack or register fault, an
 * open handle, a set-up step that failed) is shown as a line of its own, so
 * that it cannot pass unseen. */
#ifndef PX714SUP_CONFORMANCE_SCENARIO_H
#define PX714SUP_CONFORMANCE_SCENARIO_H

#ifdef __cplusplus
extern "C" {
#endif

enum { ScModeCount = 6 };
/* win95 win98 winme nt40 win2k winxp, as Wine names its version modes. */
extern const char* const ScModeNames[ScModeCount];
/* The mode of a name, or -1. */
int ScModeOf(const char* name);
enum { ScAllModes = (1u << ScModeCount) - 1 };

typedef struct ScLines {
    char** items; /* zero-terminated texts, owned */
    int count;
    int capacity;
} ScLines;
void ScLinesAdd(ScLines* lines, const char* text);
void ScLinesAddN(ScLines* lines, const char* text, int length);
void ScLinesFree(ScLines* lines);
/* All lines joined, each followed by a line feed; owned by the caller. */
char* ScLinesJoin(const ScLines* lines);

typedef struct ScRawLine {
    char* text;     /* the line, comments and trailing blanks removed */
    unsigned modes; /* the modes a `when` left in force */
    int number;     /* line number in its file */
} ScRawLine;

typedef struct ScScenario {
    char* name;
    char* file;       /* the file it came from */
    int number;       /* line of its `scenario` line */
    unsigned modes;   /* from `modes` */
    char* hostOnly;   /* the reason, or null */
    ScRawLine* lines; /* its body */
    int lineCount;
} ScScenario;

typedef struct ScExport {
    char* name;
    int ordinal;
    ScLines args; /* argument tokens of the harmless call */
} ScExport;

typedef struct ScSuite {
    ScScenario* scenarios;
    int scenarioCount;
    ScExport* exports;
    int exportCount;
    char error[512]; /* the first error met, "" when none */
} ScSuite;

/* Adds a file's scenarios and export rows; 0, or -1 with suite->error set. */
int ScLoadFile(ScSuite* suite, const char* path);
/* The same from a text in memory; `name` is shown in messages. */
int ScLoadText(ScSuite* suite, const char* name, const char* text);
void ScFreeSuite(ScSuite* suite);
const ScExport* ScFindExport(const ScSuite* suite, const char* name);

typedef struct ScCall {
    char* exportName;
    ScLines args;            /* argument tokens as written */
    unsigned long lastError; /* set before the call */
    int number;              /* line number */
} ScCall;

/* One scenario as one mode sees it. */
typedef struct ScView {
    ScLines owns;     /* registry keys */
    ScLines paths;    /* files and folders */
    char* windir;     /* or null */
    ScLines reg;      /* .reg text lines */
    ScLines files;    /* files lines */
    ScLines services; /* `service` lines, whole */
    ScLines serviceNames; /* every owned service: those of `service` lines, then `owns-service` */
    ScLines startResults; /* `start-result` lines: "NAME CODE" */
    ScLines messages;     /* codes of `message` lines */
    ScLines infPaths; /* source INF files */
    ScLines infTexts; /* their texts, lines joined with line feeds */
    ScCall* calls;
    int callCount;
    int showExports;  /* `exports` was given */
    int showLastError; /* `show-lasterror` was given */
    ScLines unordered; /* quoted trace prefixes of `unordered` lines */
    ScLines expect;
    char error[512];  /* a malformed line, "" when none */
} ScView;
/* 0, or -1 with view->error set. */
int ScMakeView(const ScSuite* suite, const ScScenario* scenario, int mode, ScView* view);
void ScFreeView(ScView* view);

/* Splits a line into tokens at blanks; a quoted text is one token, quotes
 * and escapes kept. */
void ScTokenize(const char* line, ScLines* tokens);
/* A quoted token's text into out (capacity bytes); -1 when it is not a
 * well-formed quoted text or does not fit, else its length. */
int ScUnquote(const char* token, char* out, int capacity);
/* text as a quoted token; owned by the caller. */
char* ScQuote(const char* text);
/* An integer token (decimal, -decimal or 0x hexadecimal); 0 when it is not one. */
int ScParseNumber(const char* token, unsigned long* value);

/* A call argument. */
typedef enum ScArgKind {
    ScArgNumber,       /* an integer */
    ScArgText,         /* a quoted text */
    ScArgIndexPointer, /* &index: the scenario's 16-bit index buffer */
    ScArgNamePointer,  /* &name: the scenario's name buffer */
    ScArgIndexValue    /* index: the value the index buffer holds */
} ScArgKind;
typedef struct ScArg {
    ScArgKind kind;
    unsigned long number; /* ScArgNumber */
    char text[1024];      /* ScArgText */
} ScArg;
/* 0 when the token is not an argument. */
int ScParseArgument(const char* token, ScArg* arg);

/* The buffers a scenario hands to the exports, and their filling. */
enum { ScNameBufferSize = 200, ScIndexFilling = 0xBEEF };
/* Fills a name buffer: '#' bytes and a terminator in the last one. */
void ScFillName(char* buffer);
/* The line that shows a name buffer after a call: "name untouched",
 * "name TEXT", "name unterminated"; " (written past its end)" is added when
 * a byte after the terminator differs from `before`. Owned by the caller. */
char* ScNameLine(const char* buffer, const char* before);

/* True when key (a registry path with a root name) lies at or below owner.
 * Root names may be long or short; HKCR stands for HKLM\SOFTWARE\Classes. */
int ScKeyWithin(const char* key, const char* owner);
/* The root of a registry path as its long name, and the rest after the
 * backslash (or ""); 0 when the root is unknown. */
int ScSplitRoot(const char* path, const char** longRoot, const char** rest);

/* One registry value as a .reg line ("name"=... or @=...): texts in quotes
 * when they are REG_SZ ending in their only zero and printable, dword: for
 * four-byte REG_DWORD, hex: or hex(N): otherwise. Owned by the caller. */
char* ScValueLine(const char* name, unsigned long type, const unsigned char* data, unsigned long size);
/* Sorts each run of value lines (lines that do not start with '[')
 * between key lines by value name, letter case ignored. */
void ScSortValueRuns(ScLines* lines, int from);
/* The line that shows one trace piece: "trace TEXT", or "trace message
 * CODE" when the piece is the (non-empty) system text texts[i] of the code
 * codes->items[i]. Owned by the caller. */
char* ScTraceLine(const char* piece, const ScLines* codes, char* const* texts);

/* Sorts each run of consecutive trace lines whose piece begins with one of
 * the view's `unordered` texts. */
void ScSortUnordered(ScLines* lines, const ScView* view);
/* Sorts lines [from, count) by their text. */
void ScSortLines(ScLines* lines, int from);

/* The difference of two line lists as a report ("-" the first list's
 * lines, "+" the second's, with two lines of context); null when equal.
 * Owned by the caller. */
char* ScDiff(const ScLines* first, const ScLines* second, const char* firstLabel, const char* secondLabel);

/* Splits a driver's output file (blocks "== NAME" followed by lines) into
 * names and line lists. 0, or -1 when the file cannot be read. */
typedef struct ScObserved {
    char** names;
    ScLines* blocks;
    int count;
} ScObserved;
int ScReadObserved(const char* path, ScObserved* observed);
const ScLines* ScFindObserved(const ScObserved* observed, const char* name);
void ScFreeObserved(ScObserved* observed);

#ifdef __cplusplus
}
#endif

#endif /* PX714SUP_CONFORMANCE_SCENARIO_H */
