/* Conformance scenarios: reading, the per-mode view, rendering helpers and
 * the line difference. See scenario.h for the format. */
#include "scenario.h"

#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const char* const ScModeNames[ScModeCount] = {"win95", "win98", "winme", "nt40", "win2k", "winxp"};

static int SameNoCase(const char* a, const char* b) {
    for (; *a != 0 && *b != 0; ++a, ++b)
        if (toupper((unsigned char)*a) != toupper((unsigned char)*b)) return 0;
    return *a == *b;
}

static int CompareNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int ca = toupper((unsigned char)*a), cb = toupper((unsigned char)*b);
        if (ca != cb || ca == 0) return ca - cb;
    }
}

static char* CopyOf(const char* text, int length) {
    char* copy = (char*)malloc((size_t)length + 1);
    if (copy == NULL) abort();
    memcpy(copy, text, (size_t)length);
    copy[length] = 0;
    return copy;
}

static char* Dup(const char* text) { return CopyOf(text, (int)strlen(text)); }

int ScModeOf(const char* name) {
    int i;
    for (i = 0; i < ScModeCount; ++i)
        if (SameNoCase(name, ScModeNames[i])) return i;
    return -1;
}

/* ---- Line lists -------------------------------------------------------- */

void ScLinesAddN(ScLines* lines, const char* text, int length) {
    if (lines->count == lines->capacity) {
        lines->capacity = lines->capacity ? lines->capacity * 2 : 16;
        lines->items = (char**)realloc(lines->items, sizeof(char*) * (size_t)lines->capacity);
        if (lines->items == NULL) abort();
    }
    lines->items[lines->count++] = CopyOf(text, length);
}

void ScLinesAdd(ScLines* lines, const char* text) { ScLinesAddN(lines, text, (int)strlen(text)); }

void ScLinesFree(ScLines* lines) {
    int i;
    for (i = 0; i < lines->count; ++i) free(lines->items[i]);
    free(lines->items);
    lines->items = NULL;
    lines->count = lines->capacity = 0;
}

char* ScLinesJoin(const ScLines* lines) {
    size_t size = 1, at = 0;
    int i;
    char* text;
    for (i = 0; i < lines->count; ++i) size += strlen(lines->items[i]) + 1;
    text = (char*)malloc(size);
    if (text == NULL) abort();
    for (i = 0; i < lines->count; ++i) {
        size_t n = strlen(lines->items[i]);
        memcpy(text + at, lines->items[i], n);
        at += n;
        text[at++] = '\n';
    }
    text[at] = 0;
    return text;
}

/* ---- Tokens and quoted texts ------------------------------------------- */

void ScTokenize(const char* line, ScLines* tokens) {
    const char* p = line;
    for (;;) {
        const char* start;
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == 0) return;
        start = p;
        if (*p == '"') {
            ++p;
            while (*p != 0 && *p != '"') {
                if (*p == '\\' && p[1] != 0) ++p;
                ++p;
            }
            if (*p == '"') ++p;
        } else {
            while (*p != 0 && *p != ' ' && *p != '\t') ++p;
        }
        ScLinesAddN(tokens, start, (int)(p - start));
    }
}

static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int ScUnquote(const char* token, char* out, int capacity) {
    const char* p = token;
    int length = 0;
    if (*p != '"') return -1;
    for (++p; *p != '"'; ++p) {
        char c = *p;
        if (c == 0) return -1;
        if (c == '\\') {
            ++p;
            switch (*p) {
            case 'n': c = '\n'; break;
            case 'r': c = '\r'; break;
            case 't': c = '\t'; break;
            case '\\': c = '\\'; break;
            case '"': c = '"'; break;
            case 'x': {
                int high = HexValue(p[1]), low = high < 0 ? -1 : HexValue(p[2]);
                if (low < 0 || (high == 0 && low == 0)) return -1;
                c = (char)(high * 16 + low);
                p += 2;
                break;
            }
            default: return -1;
            }
        }
        if (length + 1 >= capacity) return -1;
        out[length++] = c;
    }
    if (p[1] != 0) return -1;
    out[length] = 0;
    return length;
}

char* ScQuote(const char* text) {
    size_t size = strlen(text) * 4 + 3, at = 0;
    char* out = (char*)malloc(size);
    const unsigned char* p;
    if (out == NULL) abort();
    out[at++] = '"';
    for (p = (const unsigned char*)text; *p != 0; ++p) {
        switch (*p) {
        case '\n': out[at++] = '\\'; out[at++] = 'n'; break;
        case '\r': out[at++] = '\\'; out[at++] = 'r'; break;
        case '\t': out[at++] = '\\'; out[at++] = 't'; break;
        case '\\': out[at++] = '\\'; out[at++] = '\\'; break;
        case '"': out[at++] = '\\'; out[at++] = '"'; break;
        default:
            if (*p < 0x20 || *p >= 0x7F) {
                sprintf(out + at, "\\x%02X", *p);
                at += 4;
            } else {
                out[at++] = (char)*p;
            }
        }
    }
    out[at++] = '"';
    out[at] = 0;
    return out;
}

int ScParseNumber(const char* token, unsigned long* value) {
    const char* p = token;
    int negative = 0;
    unsigned long v = 0;
    if (*p == '-') {
        negative = 1;
        ++p;
    }
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && !negative) {
        p += 2;
        if (*p == 0) return 0;
        for (; *p != 0; ++p) {
            int d = HexValue(*p);
            if (d < 0) return 0;
            v = v * 16 + (unsigned long)d;
        }
    } else {
        if (*p == 0) return 0;
        for (; *p != 0; ++p) {
            if (*p < '0' || *p > '9') return 0;
            v = v * 10 + (unsigned long)(*p - '0');
        }
    }
    *value = negative ? (unsigned long)(0UL - v) : v;
    return 1;
}

int ScParseArgument(const char* token, ScArg* arg) {
    memset(arg, 0, sizeof *arg);
    if (token[0] == '"') {
        arg->kind = ScArgText;
        return ScUnquote(token, arg->text, sizeof arg->text) >= 0;
    }
    if (strcmp(token, "&index") == 0) {
        arg->kind = ScArgIndexPointer;
        return 1;
    }
    if (strcmp(token, "&name") == 0) {
        arg->kind = ScArgNamePointer;
        return 1;
    }
    if (strcmp(token, "index") == 0) {
        arg->kind = ScArgIndexValue;
        return 1;
    }
    arg->kind = ScArgNumber;
    return ScParseNumber(token, &arg->number);
}

void ScFillName(char* buffer) {
    memset(buffer, '#', ScNameBufferSize - 1);
    buffer[ScNameBufferSize - 1] = 0;
}

char* ScNameLine(const char* buffer, const char* before) {
    char filled[ScNameBufferSize];
    const char* end;
    char *quoted, *line;
    int i, past = 0;
    ScFillName(filled);
    if (memcmp(buffer, filled, ScNameBufferSize) == 0) return Dup("name untouched");
    end = (const char*)memchr(buffer, 0, ScNameBufferSize);
    if (end == NULL) return Dup("name unterminated");
    for (i = (int)(end - buffer) + 1; i < ScNameBufferSize; ++i)
        if (buffer[i] != before[i]) past = 1;
    quoted = ScQuote(buffer);
    line = (char*)malloc(strlen(quoted) + 32);
    if (line == NULL) abort();
    sprintf(line, "name %s%s", quoted, past ? " (written past its end)" : "");
    free(quoted);
    return line;
}

char* ScTraceLine(const char* piece, const ScLines* codes, char* const* texts) {
    char* quoted;
    char* line;
    int i;
    for (i = 0; i < codes->count; ++i) {
        if (texts[i][0] != 0 && strcmp(piece, texts[i]) == 0) {
            line = (char*)malloc(strlen(codes->items[i]) + 16);
            if (line == NULL) abort();
            sprintf(line, "trace message %s", codes->items[i]);
            return line;
        }
    }
    quoted = ScQuote(piece);
    line = (char*)malloc(strlen(quoted) + 8);
    if (line == NULL) abort();
    sprintf(line, "trace %s", quoted);
    free(quoted);
    return line;
}

/* ---- Registry paths ---------------------------------------------------- */

int ScSplitRoot(const char* path, const char** longRoot, const char** rest) {
    static const char* const names[][2] = {
        {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE"}, {"HKLM", "HKEY_LOCAL_MACHINE"},
        {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER"},   {"HKCU", "HKEY_CURRENT_USER"},
        {"HKEY_CLASSES_ROOT", "HKEY_CLASSES_ROOT"},   {"HKCR", "HKEY_CLASSES_ROOT"},
        {"HKEY_USERS", "HKEY_USERS"},                 {"HKU", "HKEY_USERS"},
    };
    const char* slash = strchr(path, '\\');
    size_t length = slash ? (size_t)(slash - path) : strlen(path);
    size_t i;
    for (i = 0; i < sizeof names / sizeof names[0]; ++i) {
        if (strlen(names[i][0]) == length && strncmp(path, names[i][0], length) == 0) {
            *longRoot = names[i][1];
            *rest = slash ? slash + 1 : path + length;
            return 1;
        }
    }
    return 0;
}

/* "HKEY_LOCAL_MACHINE\\rest" with HKCR resolved and trailing backslashes
 * dropped; owned by the caller, null for an unknown root. */
static char* CanonicalKey(const char* path) {
    const char *root, *rest;
    char* out;
    size_t n;
    if (!ScSplitRoot(path, &root, &rest)) return NULL;
    if (strcmp(root, "HKEY_CLASSES_ROOT") == 0) root = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
    out = (char*)malloc(strlen(root) + strlen(rest) + 2);
    if (out == NULL) abort();
    strcpy(out, root);
    if (*rest != 0) {
        strcat(out, "\\");
        strcat(out, rest);
    }
    n = strlen(out);
    while (n > 0 && out[n - 1] == '\\') out[--n] = 0;
    return out;
}

static int PathWithin(const char* path, const char* owner) {
    size_t n = strlen(owner);
    if (strlen(path) < n) return 0;
    {
        char* head = CopyOf(path, (int)n);
        int same = SameNoCase(head, owner);
        free(head);
        if (!same) return 0;
    }
    return path[n] == 0 || path[n] == '\\';
}

int ScKeyWithin(const char* key, const char* owner) {
    char* k = CanonicalKey(key);
    char* o = CanonicalKey(owner);
    int within = k != NULL && o != NULL && PathWithin(k, o);
    free(k);
    free(o);
    return within;
}

/* ---- Rendering --------------------------------------------------------- */

static void Append(char** text, size_t* size, size_t* at, const char* piece) {
    size_t n = strlen(piece);
    if (*at + n + 1 > *size) {
        while (*at + n + 1 > *size) *size = *size ? *size * 2 : 64;
        *text = (char*)realloc(*text, *size);
        if (*text == NULL) abort();
    }
    memcpy(*text + *at, piece, n + 1);
    *at += n;
}

char* ScValueLine(const char* name, unsigned long type, const unsigned char* data, unsigned long size) {
    char* out = NULL;
    size_t cap = 0, at = 0;
    char piece[32];
    unsigned long i;
    int text = type == 1 /* REG_SZ */ && size > 0 && data[size - 1] == 0;
    for (i = 0; text && i + 1 < size; ++i)
        if (data[i] < 0x20 || data[i] >= 0x7F) text = 0;
    if (*name == 0) {
        Append(&out, &cap, &at, "@=");
    } else {
        Append(&out, &cap, &at, "\"");
        for (; *name != 0; ++name) {
            char one[3] = {0, 0, 0};
            if (*name == '\\' || *name == '"') {
                one[0] = '\\';
                one[1] = *name;
            } else {
                one[0] = *name;
            }
            Append(&out, &cap, &at, one);
        }
        Append(&out, &cap, &at, "\"=");
    }
    if (text) {
        Append(&out, &cap, &at, "\"");
        for (i = 0; i + 1 < size; ++i) {
            char one[3] = {0, 0, 0};
            if (data[i] == '\\' || data[i] == '"') {
                one[0] = '\\';
                one[1] = (char)data[i];
            } else {
                one[0] = (char)data[i];
            }
            Append(&out, &cap, &at, one);
        }
        Append(&out, &cap, &at, "\"");
    } else if (type == 4 /* REG_DWORD */ && size == 4) {
        sprintf(piece, "dword:%08lx",
                (unsigned long)data[0] | ((unsigned long)data[1] << 8) | ((unsigned long)data[2] << 16) |
                    ((unsigned long)data[3] << 24));
        Append(&out, &cap, &at, piece);
    } else {
        if (type == 3 /* REG_BINARY */)
            Append(&out, &cap, &at, "hex:");
        else {
            sprintf(piece, "hex(%lx):", type);
            Append(&out, &cap, &at, piece);
        }
        for (i = 0; i < size; ++i) {
            sprintf(piece, i ? ",%02x" : "%02x", data[i]);
            Append(&out, &cap, &at, piece);
        }
    }
    return out;
}

/* The value name of a value line, for sorting: "" for @. */
static void ValueName(const char* line, char* out, size_t capacity) {
    size_t n = 0;
    if (*line == '"') {
        for (++line; *line != 0 && *line != '"' && n + 1 < capacity; ++line) {
            if (*line == '\\' && line[1] != 0) ++line;
            out[n++] = *line;
        }
    }
    out[n] = 0;
}

static int CompareValueLines(const void* a, const void* b) {
    char na[512], nb[512];
    int c;
    ValueName(*(char* const*)a, na, sizeof na);
    ValueName(*(char* const*)b, nb, sizeof nb);
    c = CompareNoCase(na, nb);
    return c != 0 ? c : strcmp(*(char* const*)a, *(char* const*)b);
}

void ScSortValueRuns(ScLines* lines, int from) {
    int i = from;
    while (i < lines->count) {
        int start;
        if (lines->items[i][0] == '[') {
            ++i;
            continue;
        }
        start = i;
        while (i < lines->count && lines->items[i][0] != '[') ++i;
        qsort(lines->items + start, (size_t)(i - start), sizeof(char*), CompareValueLines);
    }
}

static int CompareTexts(const void* a, const void* b);

void ScSortUnordered(ScLines* lines, const ScView* view) {
    int u;
    for (u = 0; u < view->unordered.count; ++u) {
        /* "trace " and the quoted prefix without its closing quote. */
        const char* quoted = view->unordered.items[u];
        size_t n = strlen(quoted) - 1;
        char* head = (char*)malloc(n + 7);
        int i = 0;
        if (head == NULL) abort();
        memcpy(head, "trace ", 6);
        memcpy(head + 6, quoted, n);
        head[n + 6] = 0;
        while (i < lines->count) {
            int start = i;
            while (i < lines->count && strncmp(lines->items[i], head, n + 6) == 0) ++i;
            if (i - start > 1) qsort(lines->items + start, (size_t)(i - start), sizeof(char*), CompareTexts);
            if (i == start) ++i;
        }
        free(head);
    }
}

static int CompareTexts(const void* a, const void* b) { return strcmp(*(char* const*)a, *(char* const*)b); }

void ScSortLines(ScLines* lines, int from) {
    if (lines->count > from) qsort(lines->items + from, (size_t)(lines->count - from), sizeof(char*), CompareTexts);
}

/* ---- Reading files ------------------------------------------------------ */

static void SetError(char* error, const char* file, int number, const char* format, ...) {
    va_list args;
    int n = snprintf(error, 512, "%s:%d: ", file, number);
    va_start(args, format);
    if (n >= 0 && n < 512) vsnprintf(error + n, (size_t)(512 - n), format, args);
    va_end(args);
}

static int ModesOf(const ScLines* tokens, int first, unsigned* modes, const char** bad) {
    int i;
    *modes = 0;
    for (i = first; i < tokens->count; ++i) {
        const char* t = tokens->items[i];
        int mode = ScModeOf(t);
        if (mode >= 0)
            *modes |= 1u << mode;
        else if (SameNoCase(t, "9x"))
            *modes |= 7u;
        else if (SameNoCase(t, "nt"))
            *modes |= 56u;
        else if (SameNoCase(t, "all"))
            *modes |= ScAllModes;
        else {
            *bad = t;
            return 0;
        }
    }
    return *modes != 0;
}

static int Starts(const char* line, const char* word) {
    size_t n = strlen(word);
    return strncmp(line, word, n) == 0 && (line[n] == 0 || line[n] == ' ' || line[n] == '\t');
}

/* The text after the first word and its blanks. */
static const char* AfterWord(const char* line) {
    while (*line != 0 && *line != ' ' && *line != '\t') ++line;
    while (*line == ' ' || *line == '\t') ++line;
    return line;
}

int ScLoadText(ScSuite* suite, const char* name, const char* text) {
    const char* p = text;
    int number = 0;
    ScScenario* current = NULL;
    unsigned when = ScAllModes;
    while (*p != 0) {
        const char* end = strchr(p, '\n');
        int length = end ? (int)(end - p) : (int)strlen(p);
        char* line;
        char* start;
        int n;
        ++number;
        line = CopyOf(p, length);
        p += length + (end ? 1 : 0);
        n = length;
        while (n > 0 && (line[n - 1] == '\r' || line[n - 1] == ' ' || line[n - 1] == '\t')) line[--n] = 0;
        start = line;
        while (*start == ' ' || *start == '\t') ++start;
        if (*start == 0 || *start == '#') {
            free(line);
            continue;
        }
        if (Starts(start, "scenario")) {
            const char* title = AfterWord(start);
            int i;
            if (*title == 0) {
                SetError(suite->error, name, number, "a scenario needs a name");
                free(line);
                return -1;
            }
            for (i = 0; i < suite->scenarioCount; ++i) {
                if (strcmp(suite->scenarios[i].name, title) == 0) {
                    SetError(suite->error, name, number, "scenario %s is already defined in %s", title,
                             suite->scenarios[i].file);
                    free(line);
                    return -1;
                }
            }
            suite->scenarios = (ScScenario*)realloc(suite->scenarios, sizeof(ScScenario) * (size_t)(suite->scenarioCount + 1));
            if (suite->scenarios == NULL) abort();
            current = &suite->scenarios[suite->scenarioCount++];
            memset(current, 0, sizeof *current);
            current->name = Dup(title);
            current->file = Dup(name);
            current->number = number;
            when = ScAllModes;
        } else if (current == NULL) {
            ScLines tokens = {0, 0, 0};
            ScExport row;
            unsigned long ordinal = 0;
            int i;
            ScTokenize(start, &tokens);
            if (tokens.count < 3 || strcmp(tokens.items[0], "export") != 0 || !ScParseNumber(tokens.items[2], &ordinal)) {
                SetError(suite->error, name, number, "expected 'export NAME ORDINAL ARG...' or 'scenario NAME'");
                ScLinesFree(&tokens);
                free(line);
                return -1;
            }
            memset(&row, 0, sizeof row);
            row.name = Dup(tokens.items[1]);
            row.ordinal = (int)ordinal;
            for (i = 3; i < tokens.count; ++i) ScLinesAdd(&row.args, tokens.items[i]);
            ScLinesFree(&tokens);
            suite->exports = (ScExport*)realloc(suite->exports, sizeof(ScExport) * (size_t)(suite->exportCount + 1));
            if (suite->exports == NULL) abort();
            suite->exports[suite->exportCount++] = row;
        } else if (Starts(start, "modes") || Starts(start, "when")) {
            ScLines tokens = {0, 0, 0};
            unsigned modes = 0;
            const char* bad = "";
            ScTokenize(start, &tokens);
            if (!ModesOf(&tokens, 1, &modes, &bad)) {
                SetError(suite->error, name, number, "unknown mode '%s'", bad);
                ScLinesFree(&tokens);
                free(line);
                return -1;
            }
            if (tokens.items[0][0] == 'm')
                current->modes = modes;
            else
                when = modes;
            ScLinesFree(&tokens);
        } else if (Starts(start, "host-only")) {
            free(current->hostOnly);
            current->hostOnly = Dup(AfterWord(start));
        } else {
            current->lines = (ScRawLine*)realloc(current->lines, sizeof(ScRawLine) * (size_t)(current->lineCount + 1));
            if (current->lines == NULL) abort();
            current->lines[current->lineCount].text = Dup(start);
            current->lines[current->lineCount].modes = when;
            current->lines[current->lineCount].number = number;
            ++current->lineCount;
        }
        free(line);
    }
    {
        int i;
        for (i = 0; i < suite->scenarioCount; ++i) {
            if (suite->scenarios[i].modes == 0 && strcmp(suite->scenarios[i].file, name) == 0) {
                SetError(suite->error, name, suite->scenarios[i].number, "scenario %s has no 'modes' line",
                         suite->scenarios[i].name);
                return -1;
            }
        }
    }
    return 0;
}

int ScLoadFile(ScSuite* suite, const char* path) {
    FILE* f = fopen(path, "rb");
    char* text;
    long size;
    int result;
    if (f == NULL) {
        snprintf(suite->error, sizeof suite->error, "%s: cannot be opened", path);
        return -1;
    }
    fseek(f, 0, SEEK_END);
    size = ftell(f);
    fseek(f, 0, SEEK_SET);
    text = (char*)malloc((size_t)size + 1);
    if (text == NULL) abort();
    if (fread(text, 1, (size_t)size, f) != (size_t)size) size = 0;
    text[size] = 0;
    fclose(f);
    result = ScLoadText(suite, path, text);
    free(text);
    return result;
}

void ScFreeSuite(ScSuite* suite) {
    int i, j;
    for (i = 0; i < suite->scenarioCount; ++i) {
        ScScenario* s = &suite->scenarios[i];
        free(s->name);
        free(s->file);
        free(s->hostOnly);
        for (j = 0; j < s->lineCount; ++j) free(s->lines[j].text);
        free(s->lines);
    }
    free(suite->scenarios);
    for (i = 0; i < suite->exportCount; ++i) {
        free(suite->exports[i].name);
        ScLinesFree(&suite->exports[i].args);
    }
    free(suite->exports);
    memset(suite, 0, sizeof *suite);
}

const ScExport* ScFindExport(const ScSuite* suite, const char* name) {
    int i;
    for (i = 0; i < suite->exportCount; ++i)
        if (strcmp(suite->exports[i].name, name) == 0) return &suite->exports[i];
    return NULL;
}

/* ---- The view of one mode ---------------------------------------------- */

static int ValidArgument(const char* token) {
    static ScArg arg;
    return ScParseArgument(token, &arg);
}

/* "C:\\..." with single backslashes, no trailing one. */
static int ValidFilePath(const char* path) {
    const char* p;
    if (!isalpha((unsigned char)path[0]) || path[1] != ':' || path[2] != '\\' || path[3] == 0) return 0;
    for (p = path + 2; *p != 0; ++p)
        if (*p == '\\' && (p[1] == '\\' || p[1] == 0)) return 0;
    return 1;
}

int ScMakeView(const ScSuite* suite, const ScScenario* s, int mode, ScView* v) {
    enum { None, Reg, Files, Expect, Inf } block = None;
    ScLines infText = {0, 0, 0};
    unsigned long lastError = 0;
    int blockStart = 0;
    int i;
    memset(v, 0, sizeof *v);
    for (i = 0; i < s->lineCount; ++i) {
        const char* line = s->lines[i].text;
        int number = s->lines[i].number;
        if ((s->lines[i].modes & (1u << mode)) == 0) continue;
        if (block != None) {
            if (strcmp(line, "end") == 0) {
                if (block == Inf) {
                    char* joined = ScLinesJoin(&infText);
                    ScLinesAdd(&v->infTexts, joined);
                    free(joined);
                    ScLinesFree(&infText);
                }
                block = None;
            } else if (block == Reg) {
                ScLinesAdd(&v->reg, line);
            } else if (block == Files) {
                ScLinesAdd(&v->files, line);
            } else if (block == Expect) {
                ScLinesAdd(&v->expect, line);
            } else {
                ScLinesAdd(&infText, line);
            }
            continue;
        }
        if (strcmp(line, "reg") == 0) {
            block = Reg;
        } else if (strcmp(line, "files") == 0) {
            block = Files;
        } else if (strcmp(line, "expect") == 0) {
            block = Expect;
        } else if (Starts(line, "inf")) {
            if (!ValidFilePath(AfterWord(line))) {
                SetError(v->error, s->file, number, "inf needs a full path C:\\...");
                return -1;
            }
            ScLinesAdd(&v->infPaths, AfterWord(line));
            block = Inf;
        } else if (Starts(line, "owns")) {
            ScLines tokens = {0, 0, 0};
            const char *root, *rest;
            const char* key = AfterWord(line);
            if (!ScSplitRoot(key, &root, &rest) || *rest == 0) {
                SetError(v->error, s->file, number, "owns needs a key below a root: %s", key);
                return -1;
            }
            ScLinesFree(&tokens);
            ScLinesAdd(&v->owns, key);
        } else if (Starts(line, "owns-path")) {
            if (!ValidFilePath(AfterWord(line))) {
                SetError(v->error, s->file, number, "owns-path needs a full path C:\\... without a trailing backslash");
                return -1;
            }
            ScLinesAdd(&v->paths, AfterWord(line));
        } else if (Starts(line, "windir")) {
            free(v->windir);
            v->windir = Dup(AfterWord(line));
        } else if (Starts(line, "service")) {
            ScLines tokens = {0, 0, 0};
            ScTokenize(line, &tokens);
            if (tokens.count < 2) {
                SetError(v->error, s->file, number, "service needs a name");
                ScLinesFree(&tokens);
                return -1;
            }
            ScLinesAdd(&v->serviceNames, tokens.items[1]);
            ScLinesFree(&tokens);
            ScLinesAdd(&v->services, line);
        } else if (Starts(line, "owns-service")) {
            if (*AfterWord(line) == 0) {
                SetError(v->error, s->file, number, "owns-service needs a name");
                return -1;
            }
            ScLinesAdd(&v->serviceNames, AfterWord(line));
        } else if (Starts(line, "start-result")) {
            ScLines tokens = {0, 0, 0};
            unsigned long code;
            ScTokenize(line, &tokens);
            if (tokens.count != 3 || !ScParseNumber(tokens.items[2], &code)) {
                SetError(v->error, s->file, number, "start-result needs a service name and a code");
                ScLinesFree(&tokens);
                return -1;
            }
            ScLinesFree(&tokens);
            ScLinesAdd(&v->startResults, AfterWord(line));
        } else if (Starts(line, "message")) {
            ScLines tokens = {0, 0, 0};
            int j;
            unsigned long code;
            ScTokenize(line, &tokens);
            for (j = 1; j < tokens.count; ++j) {
                if (!ScParseNumber(tokens.items[j], &code)) {
                    SetError(v->error, s->file, number, "message needs error codes");
                    ScLinesFree(&tokens);
                    return -1;
                }
                ScLinesAdd(&v->messages, tokens.items[j]);
            }
            ScLinesFree(&tokens);
        } else if (Starts(line, "lasterror")) {
            if (!ScParseNumber(AfterWord(line), &lastError)) {
                SetError(v->error, s->file, number, "lasterror needs a number");
                return -1;
            }
        } else if (Starts(line, "unordered")) {
            char text[1024];
            if (ScUnquote(AfterWord(line), text, sizeof text) < 0) {
                SetError(v->error, s->file, number, "unordered needs a quoted text");
                return -1;
            }
            ScLinesAdd(&v->unordered, AfterWord(line));
        } else if (strcmp(line, "show-lasterror") == 0) {
            v->showLastError = 1;
        } else if (strcmp(line, "exports") == 0) {
            v->showExports = 1;
        } else if (Starts(line, "call")) {
            ScLines tokens = {0, 0, 0};
            ScCall* call;
            const ScExport* row;
            int j;
            ScTokenize(line, &tokens);
            if (tokens.count < 2) {
                SetError(v->error, s->file, number, "call needs an export");
                ScLinesFree(&tokens);
                return -1;
            }
            row = ScFindExport(suite, tokens.items[1]);
            if (row == NULL || row->args.count != tokens.count - 2) {
                SetError(v->error, s->file, number, row ? "%s takes %d arguments" : "%s is not in the export table",
                         tokens.items[1], row ? row->args.count : 0);
                ScLinesFree(&tokens);
                return -1;
            }
            for (j = 2; j < tokens.count; ++j) {
                if (!ValidArgument(tokens.items[j])) {
                    SetError(v->error, s->file, number, "not an argument: %s", tokens.items[j]);
                    ScLinesFree(&tokens);
                    return -1;
                }
            }
            v->calls = (ScCall*)realloc(v->calls, sizeof(ScCall) * (size_t)(v->callCount + 1));
            if (v->calls == NULL) abort();
            call = &v->calls[v->callCount++];
            memset(call, 0, sizeof *call);
            call->exportName = Dup(tokens.items[1]);
            for (j = 2; j < tokens.count; ++j) ScLinesAdd(&call->args, tokens.items[j]);
            call->lastError = lastError;
            call->number = number;
            lastError = 0;
            ScLinesFree(&tokens);
        } else {
            SetError(v->error, s->file, number, "unknown line: %s", line);
            return -1;
        }
        blockStart = number;
    }
    if (block != None) {
        SetError(v->error, s->file, blockStart, "a block has no 'end'");
        ScLinesFree(&infText);
        return -1;
    }
    /* Every key the set-up creates is owned, so that it is removed again. */
    for (i = 0; i < v->reg.count; ++i) {
        const char* line = v->reg.items[i];
        if (line[0] == '[') {
            char* key = Dup(line + (line[1] == '-' ? 2 : 1));
            int j, owned = 0;
            if (key[0] != 0 && key[strlen(key) - 1] == ']') key[strlen(key) - 1] = 0;
            for (j = 0; j < v->owns.count && !owned; ++j) owned = ScKeyWithin(key, v->owns.items[j]);
            if (!owned) {
                SetError(v->error, s->file, s->number, "scenario %s: the set-up key %s is not owned", s->name, key);
                free(key);
                return -1;
            }
            free(key);
        }
    }
    for (i = 0; i < v->files.count; ++i) {
        ScLines tokens = {0, 0, 0};
        int j, owned = 0;
        ScTokenize(v->files.items[i], &tokens);
        /* A path may hold blanks: the attribute words are the last tokens. */
        for (j = 0; j < v->paths.count && !owned; ++j) {
            const char* path = v->paths.items[j];
            size_t n = strlen(path);
            char* head = CopyOf(v->files.items[i], (int)(strlen(v->files.items[i]) < n ? strlen(v->files.items[i]) : n));
            owned = SameNoCase(head, path) && (v->files.items[i][n] == 0 || v->files.items[i][n] == '\\' ||
                                               v->files.items[i][n] == ' ');
            free(head);
        }
        ScLinesFree(&tokens);
        if (!owned) {
            SetError(v->error, s->file, s->number, "scenario %s: the file %s is not below an owned path", s->name,
                     v->files.items[i]);
            return -1;
        }
    }
    return 0;
}

void ScFreeView(ScView* v) {
    int i;
    ScLinesFree(&v->owns);
    ScLinesFree(&v->paths);
    free(v->windir);
    ScLinesFree(&v->reg);
    ScLinesFree(&v->files);
    ScLinesFree(&v->services);
    ScLinesFree(&v->serviceNames);
    ScLinesFree(&v->startResults);
    ScLinesFree(&v->messages);
    ScLinesFree(&v->infPaths);
    ScLinesFree(&v->infTexts);
    for (i = 0; i < v->callCount; ++i) {
        free(v->calls[i].exportName);
        ScLinesFree(&v->calls[i].args);
    }
    free(v->calls);
    ScLinesFree(&v->unordered);
    ScLinesFree(&v->expect);
    memset(v, 0, sizeof *v);
}

/* ---- Difference -------------------------------------------------------- */

char* ScDiff(const ScLines* a, const ScLines* b, const char* aLabel, const char* bLabel) {
    int head = 0, tailA, tailB, n, m, i, j;
    int* table;
    char* out = NULL;
    size_t cap = 0, at = 0;
    /* Script of the middle part: 0 same, 1 only in a, 2 only in b. */
    int *kind, *ia, *ib, steps = 0;
    while (head < a->count && head < b->count && strcmp(a->items[head], b->items[head]) == 0) ++head;
    if (head == a->count && head == b->count) return NULL;
    tailA = a->count;
    tailB = b->count;
    while (tailA > head && tailB > head && strcmp(a->items[tailA - 1], b->items[tailB - 1]) == 0) {
        --tailA;
        --tailB;
    }
    n = tailA - head;
    m = tailB - head;
    /* Longest common subsequence of the middle, when it is small enough;
     * otherwise every middle line is shown as changed. */
    table = NULL;
    if ((long)(n + 1) * (m + 1) <= 4000000L) {
        table = (int*)calloc((size_t)(n + 1) * (size_t)(m + 1), sizeof(int));
        if (table == NULL) abort();
        for (i = n - 1; i >= 0; --i)
            for (j = m - 1; j >= 0; --j)
                table[i * (m + 1) + j] = strcmp(a->items[head + i], b->items[head + j]) == 0
                                             ? table[(i + 1) * (m + 1) + j + 1] + 1
                                             : (table[(i + 1) * (m + 1) + j] >= table[i * (m + 1) + j + 1]
                                                    ? table[(i + 1) * (m + 1) + j]
                                                    : table[i * (m + 1) + j + 1]);
    }
    kind = (int*)malloc(sizeof(int) * (size_t)(n + m + 1));
    ia = (int*)malloc(sizeof(int) * (size_t)(n + m + 1));
    ib = (int*)malloc(sizeof(int) * (size_t)(n + m + 1));
    if (kind == NULL || ia == NULL || ib == NULL) abort();
    i = j = 0;
    while (i < n || j < m) {
        if (table != NULL && i < n && j < m && strcmp(a->items[head + i], b->items[head + j]) == 0) {
            kind[steps] = 0; ia[steps] = i++; ib[steps] = j++;
        } else if (i < n && (j == m || table == NULL || table[(i + 1) * (m + 1) + j] >= table[i * (m + 1) + j + 1])) {
            kind[steps] = 1; ia[steps] = i++; ib[steps] = j;
        } else {
            kind[steps] = 2; ia[steps] = i; ib[steps] = j++;
        }
        ++steps;
    }
    free(table);
    Append(&out, &cap, &at, "--- ");
    Append(&out, &cap, &at, aLabel);
    Append(&out, &cap, &at, "\n+++ ");
    Append(&out, &cap, &at, bLabel);
    Append(&out, &cap, &at, "\n");
    {
        /* The whole sequence: common head, middle steps, common tail; a
         * line is shown when a change lies within two lines of it. */
        int total = head + steps + (a->count - tailA), k, d, gap = 0;
        for (k = 0; k < total; ++k) {
            int show = 0, kk;
            const char* text;
            int what;
            for (d = -2; d <= 2 && !show; ++d) {
                kk = k + d;
                if (kk >= head && kk < head + steps && kind[kk - head] != 0) show = 1;
            }
            if (!show) {
                gap = 1;
                continue;
            }
            if (k < head) {
                what = 0;
                text = a->items[k];
            } else if (k < head + steps) {
                what = kind[k - head];
                text = what == 2 ? b->items[head + ib[k - head]] : a->items[head + ia[k - head]];
            } else {
                what = 0;
                text = a->items[tailA + (k - head - steps)];
            }
            if (gap) Append(&out, &cap, &at, "...\n");
            gap = 0;
            Append(&out, &cap, &at, what == 0 ? "  " : what == 1 ? "- " : "+ ");
            Append(&out, &cap, &at, text);
            Append(&out, &cap, &at, "\n");
        }
        if (gap) Append(&out, &cap, &at, "...\n");
    }
    free(kind);
    free(ia);
    free(ib);
    return out;
}

/* ---- Observation files -------------------------------------------------- */

int ScReadObserved(const char* path, ScObserved* observed) {
    FILE* f = fopen(path, "rb");
    char buffer[8192];
    memset(observed, 0, sizeof *observed);
    if (f == NULL) return -1;
    while (fgets(buffer, sizeof buffer, f) != NULL) {
        size_t n = strlen(buffer);
        while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r')) buffer[--n] = 0;
        if (strncmp(buffer, "== ", 3) == 0) {
            observed->names = (char**)realloc(observed->names, sizeof(char*) * (size_t)(observed->count + 1));
            observed->blocks = (ScLines*)realloc(observed->blocks, sizeof(ScLines) * (size_t)(observed->count + 1));
            if (observed->names == NULL || observed->blocks == NULL) abort();
            observed->names[observed->count] = Dup(buffer + 3);
            memset(&observed->blocks[observed->count], 0, sizeof(ScLines));
            ++observed->count;
        } else if (observed->count > 0) {
            ScLinesAdd(&observed->blocks[observed->count - 1], buffer);
        }
    }
    fclose(f);
    return 0;
}

const ScLines* ScFindObserved(const ScObserved* observed, const char* name) {
    int i;
    for (i = 0; i < observed->count; ++i)
        if (strcmp(observed->names[i], name) == 0) return &observed->blocks[i];
    return NULL;
}

void ScFreeObserved(ScObserved* observed) {
    int i;
    for (i = 0; i < observed->count; ++i) {
        free(observed->names[i]);
        ScLinesFree(&observed->blocks[i]);
    }
    free(observed->names);
    free(observed->blocks);
    memset(observed, 0, sizeof *observed);
}
