// Global, local and long names: their text, lookup and creation, turning a
// name into an operand for the statement compiler, function headers,
// labels, and the listing of the defined names.
#include "errors.h"
#include "names.h"
#include "lexer.h"
#include "scan.h"
#include "runstate.h"
#include "output.h"
#include "symbols.h"
#include "columns.h"
#include "textlines.h"
#include <cstdio>
#include <cstring>

static const i64 INLINE_NAME = 8;

static const char *const query_names[] = {
    "do__v1", "proc_where", "proc_sel1", "proc_sel", "nxt", "create", "select", "exec", "eval",
    "vcol", "ch2sym", "col_nam", "isfk", "de_enum", "split", "proc_op", "vcol2", "addwth", "proc_sel2"};

bool is_query_function_name(const char *name) {
    for (const char *q : query_names)
        if (strcmp(q, name) == 0) return true;
    return false;
}

bool is_query_function(i64 function) {
    if (function < FIRST_USER_FUNCTION || function >= FUNCTION_CAP || function > lstfx) return false;
    i64 g = function_table[function].global_name;
    if (g < 0 || g > lstgx) return false;
    char text[NAME_MAX + 1];
    name_entry_text(&global_name_table[g], text);
    return is_query_function_name(text);
}

static bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
static bool is_name_char(char c) { return is_letter(c) || (c >= '0' && c <= '9') || c == '_'; }

// ---- Entry text -------------------------------------------------------------------

i64 name_entry_text(const NameEntry *e, char *buffer) {
    i64 n = (i64)strnlen(e->name, INLINE_NAME);
    memcpy(buffer, e->name, (size_t)n);
    if (e->continuation >= 0 && e->continuation < LONG_NAME_CAP) {
        const char *rest = long_name_pool + e->continuation;
        i64 m = (i64)strnlen(rest, (size_t)(LONG_NAME_CAP - e->continuation));
        if (m > NAME_MAX - n) m = NAME_MAX - n;
        memcpy(buffer + n, rest, (size_t)m);
        n += m;
    }
    buffer[n] = 0;
    return n;
}

bool name_entry_equals(const NameEntry *e, const char *name) {
    if (e->continuation < 0) return strncmp(e->name, name, INLINE_NAME + 1) == 0 && strlen(name) <= (size_t)INLINE_NAME;
    if (strlen(name) <= (size_t)INLINE_NAME) return false;
    char text[NAME_MAX + 1];
    name_entry_text(e, text);
    return strcmp(text, name) == 0;
}

const char *name_text_by_index(i64 index, char table) {
    static char buffer[NAME_MAX + 1];
    buffer[0] = 0;
    if (table == 'G' && index >= 0 && index < GLOBAL_NAME_CAP) name_entry_text(&global_name_table[index], buffer);
    else if (table == 'N' && index >= 0 && index < LOCAL_NAME_CAP) name_entry_text(&local_name_table[index], buffer);
    return buffer;
}

int store_name_text(const char *name, i64 entry, char table) {
    NameEntry *e = table == 'G' ? &global_name_table[entry] : &local_name_table[entry];
    i64 n = (i64)strlen(name);
    if (n > NAME_MAX) return error_number = VEK_DOMAIN;
    memset(e->name, 0, sizeof e->name);
    e->continuation = -1;
    if (n <= INLINE_NAME) {
        memcpy(e->name, name, (size_t)n);
        return 0;
    }
    i64 rest = n - INLINE_NAME;
    if (lsttnam + 1 + rest + 1 > LONG_NAME_CAP) return error_number = VEK_WS_FULL;
    memcpy(e->name, name, INLINE_NAME);
    e->continuation = lsttnam + 1;
    memcpy(long_name_pool + e->continuation, name + INLINE_NAME, (size_t)rest + 1);
    lsttnam += rest + 1;
    return 0;
}

// ---- Lookup --------------------------------------------------------------------------

i64 lookup_name(const char *name, char kind) {
    switch (kind) {
    case 'G':
        for (i64 i = lstgx; i >= 0; i--)
            if (global_name_table[i].kind && name_entry_equals(&global_name_table[i], name)) return i;
        return -1;
    case 'L':
        for (i64 i = lstnx; i >= 0; i--)
            if (name_entry_equals(&local_name_table[i], name)) return i;
        return -1;
    case 'D':
        for (i64 i = dfxstack; i >= 0; i--) {
            i64 n = dfxstack_table[i].name;
            if (n >= 0 && n < LOCAL_NAME_CAP && name_entry_equals(&local_name_table[n], name)) return i;
        }
        return -1;
    default:
        vek_printf("Debug[%s:%4d] %s\n", "vparser", __LINE__, "no N now");
        return -1;
    }
}

i64 find_local_name(const char *name, i64 function) {
    const FunctionEntry *f = &function_table[function];
    if (f->header_end < 0) return -1;
    for (i64 i = f->header_start + 1; i <= f->header_end && i <= lstnx; i++)
        if (i >= 0 && name_entry_equals(&local_name_table[i], name)) return i;
    return -1;
}

i64 find_local_name_backward(const char *name, i64 function) {
    i64 stop = function_table[function].body_start;
    for (i64 i = lstnx; i > stop && i >= 0; i--)
        if (name_entry_equals(&local_name_table[i], name)) return i;
    return -1;
}

i64 find_label_name(const char *name, i64 function) {
    for (i64 i = function_table[function].body_start + 1; i <= lstnx; i++) {
        if (i < 0) continue;
        if (local_name_table[i].kind != 'L') return -1;
        if (name_entry_equals(&local_name_table[i], name)) return i;
    }
    return -1;
}

i64 find_bound_name(const char *name) { return lookup_name(name, 'D'); }

ValueDescriptor *find_bound_value(const char *name) {
    i64 b = find_bound_name(name);
    if (b >= 0) {
        i64 slot = dfxstack_table[b].slot;
        if (slot >= 0 && slot < SLOT_COUNT) return &value_slot_table[slot];
    }
    i64 g = lookup_name(name, 'G');
    if (g >= 0 && global_name_table[g].kind == 'V') return &value_slot_table[global_name_table[g].index];
    error_number = VEK_VALUE;
    return nullptr;
}

i64 resolve_value_index(const char *name) {
    i64 b = find_bound_name(name);
    if (b >= 0) return dfxstack_table[b].slot;
    i64 g = lookup_name(name, 'G');
    if (g >= 0 && global_name_table[g].kind == 'V') return global_name_table[g].index;
    return -1;
}

bool is_valid_identifier(const char *text) {
    if (!is_letter(text[0])) return false;
    size_t n = 0;
    for (; text[n]; n++)
        if (!is_name_char(text[n])) return false;
    return text[n - 1] != '_';
}

// ---- Names that hold nothing ------------------------------------------------------

static bool slot_is_bound(i64 slot) {
    for (i64 i = 0; i <= dfxstack && i < DFXSTACK_CAP; i++)
        if (dfxstack_table[i].name >= 0 && dfxstack_table[i].slot == slot) return true;
    return false;
}

static bool holds_nothing(const NameEntry *e) {
    if (e->kind != 'V') return false;
    i64 slot = e->index;
    return slot >= FIRST_GLOBAL_SLOT && slot <= lstvx && slot < LOCALS_TOP &&
           value_slot_table[slot].rank < 0 && !slot_is_bound(slot);
}

// The rest of a long name goes back to the pool when it was the last thing
// written there.
static void give_back_long_name(NameEntry *e) {
    if (e->continuation < 0 || e->continuation > lsttnam) return;
    char *rest = long_name_pool + e->continuation;
    i64 n = (i64)strnlen(rest, (size_t)(LONG_NAME_CAP - e->continuation));
    if (e->continuation + n != lsttnam) return;
    memset(rest, 0, (size_t)n + 1);
    lsttnam = e->continuation - 1;
}

void release_unused_names(i64 mark) {
    if (mark < PREDEFINED_NAMES - 1) mark = PREDEFINED_NAMES - 1;
    for (i64 g = lstgx; g > mark; g--) {
        NameEntry *e = &global_name_table[g];
        if (!holds_nothing(e)) continue;
        give_back_long_name(e);
        i64 slot = e->index;
        memset(e, 0, sizeof *e);
        e->index = slot;            // kept with the free entry for its next name
        e->continuation = -1;
    }
    while (lstgx > mark && global_name_table[lstgx].kind == 0 && global_name_table[lstgx].index == lstvx &&
           lstvx >= FIRST_GLOBAL_SLOT) {
        memset(&value_slot_table[lstvx], 0, sizeof(ValueDescriptor));
        value_slot_table[lstvx].rank = -1;
        lstvx--;
        memset(&global_name_table[lstgx], 0, sizeof(NameEntry));
        global_name_table[lstgx].index = global_name_table[lstgx].continuation = -1;
        lstgx--;
    }
}

i64 line_names_start = GLOBAL_NAME_CAP;

// An entry a new variable may take, with its value slot: a free entry left
// by release_unused_names, or a variable that holds nothing and was made
// before the running line (as a workspace saved full of such names has
// them). -1 when there is none.
static i64 free_variable_entry() {
    for (i64 g = PREDEFINED_NAMES; g <= lstgx; g++) {
        const NameEntry *e = &global_name_table[g];
        i64 slot = e->index;
        if (e->kind == 'V' && g <= line_names_start && holds_nothing(e)) return g;
        if (e->kind != 0 || slot < FIRST_GLOBAL_SLOT || slot > lstvx || slot >= LOCALS_TOP) continue;
        if (value_slot_table[slot].rank >= 0 || slot_is_bound(slot)) continue;
        bool taken = false;
        for (i64 h = 0; h <= lstgx && !taken; h++)
            taken = global_name_table[h].kind == 'V' && global_name_table[h].index == slot;
        if (!taken) return g;
    }
    return -1;
}

// The error of the full table stays when no free entry takes the name.
static i64 reuse_free_entry(const char *name, i64 error_before) {
    i64 g = free_variable_entry();
    if (g < 0 || store_name_text(name, g, 'G') != 0) return -1;
    global_name_table[g].kind = 'V';
    error_number = error_before;
    return g;
}

// ---- Creation ----------------------------------------------------------------------------

i64 add_name_entry(const char *name, char kind) {
    if (kind != 'G' && kind != 'F' && kind != 'V' && kind != 'L') return -1;
    if (strlen(name) > (size_t)NAME_MAX) { error_number = VEK_DOMAIN; return -1; }
    bool global = kind == 'G' || kind == 'F';
    i64 saved_pool = lsttnam, error_before = error_number;
    i64 e = alloc_table_entry(global ? 'G' : 'A', -1);
    if (e < 0) return kind == 'G' ? reuse_free_entry(name, error_before) : -1;
    if (store_name_text(name, e, global ? 'G' : 'N') != 0) {
        if (global) lstgx--; else lstnx--;
        return -1;
    }
    NameEntry *entry = global ? &global_name_table[e] : &local_name_table[e];
    if (kind == 'G' || kind == 'F') {
        i64 target = alloc_table_entry(kind == 'G' ? 'V' : 'F', -1);
        if (target < 0) {
            memset(entry, 0, sizeof *entry);
            entry->index = entry->continuation = -1;
            lstgx--;
            lsttnam = saved_pool;
            return kind == 'G' ? reuse_free_entry(name, error_before) : -1;
        }
        entry->kind = kind == 'G' ? 'V' : 'F';
        entry->index = target;
        if (kind == 'F') function_table[target].global_name = e;
    } else {
        entry->kind = kind;
        entry->index = -1;
    }
    return e;
}

// ---- Resolution for the statement compiler ------------------------------------------------

static void set_operand(OperandRef *out, i64 kind, i64 index, i64 local) {
    out->kind = kind;
    out->index = index;
    out->local = local;
}

static void local_operand(OperandRef *out, i64 e) {
    const NameEntry *n = &local_name_table[e];
    if (n->kind == 'L') set_operand(out, OPERAND_LABEL, n->index, e);
    else set_operand(out, OPERAND_LOCAL, n->index, e);
}

static bool functions_active() { return si_depth >= 0 || dfxstack >= 0; }

// Immediate statements (and executed text): bound name, else global, made
// when missing.
static int resolve_global(const char *name, OperandRef *out) {
    if (functions_active()) {
        i64 b = find_bound_name(name);
        if (b >= 0) {
            set_operand(out, OPERAND_VARIABLE, dfxstack_table[b].slot, dfxstack_table[b].name);
            return 0;
        }
    }
    i64 g = lookup_name(name, 'G');
    if (g < 0) {
        g = add_name_entry(name, 'G');
        if (g < 0) return (int)error_number;
    }
    const NameEntry *e = &global_name_table[g];
    set_operand(out, e->kind == 'F' ? OPERAND_FUNCTION : OPERAND_VARIABLE, e->index, -1);
    return 0;
}

static int resolve_in_function(const char *name, OperandRef *out, i64 row) {
    i64 e = find_local_name(name, row);
    if (e < 0) e = find_label_name(name, row);
    if (e >= 0) { local_operand(out, e); return 0; }
    if (execute_flag) return resolve_global(name, out);
    i64 g = lookup_name(name, 'G');
    if (g >= 0 && global_name_table[g].kind == 'F') {
        set_operand(out, OPERAND_FUNCTION, global_name_table[g].index, -1);
        return 0;
    }
    e = find_local_name_backward(name, row);
    if (e < 0) {
        e = add_name_entry(name, 'V');
        if (e < 0) return (int)error_number;
    }
    local_operand(out, e);
    return 0;
}

int resolve_name_operand(const char *line, const char *classes, OperandRef *out,
                         i64 function_row, int label_flag, int branch_flag) {
    (void)classes;
    if (line[scan_pos] == '[' && line[scan_pos + 1] == ']') {
        scan_pos += 2;
        return resolve_system_name_operand(line, out, function_row);
    }
    if (!is_letter(line[scan_pos])) return (int)(error_number = VEK_NAME_LETTER);
    i64 after = scan_identifier(line);
    if (after < 0) return (int)(error_number ? error_number : (error_number = VEK_PARSE));
    scan_pos = after;
    char name[NAME_MAX + 1];
    snprintf(name, sizeof name, "%s", token_buf);
    if (function_row >= 0) {
        bool defines_label = label_flag && line[scan_pos] == ':';
        if (defines_label || branch_flag) {
            i64 e = find_local_name_backward(name, function_row);
            if (e >= 0) { local_operand(out, e); return 0; }
        }
        return resolve_in_function(name, out, function_row);
    }
    return resolve_global(name, out);
}

int resolve_system_name_operand(const char *line, OperandRef *out, i64 function_row) {
    if (!is_letter(line[scan_pos])) return (int)(error_number = VEK_NAME_LETTER);
    i64 after = scan_identifier(line);
    if (after < 0) return (int)(error_number ? error_number : (error_number = VEK_PARSE));
    scan_pos = after;
    i64 code = system_function_code(token_buf);
    if (code >= 601) { set_operand(out, OPERAND_FUNCTION, code, -1); return 0; }
    char name[NAME_MAX + 3];
    snprintf(name, sizeof name, "[]%s", token_buf);
    if (function_row < 0 || execute_flag) {
        if (functions_active()) {
            i64 b = find_bound_name(name);
            if (b >= 0) { set_operand(out, OPERAND_VARIABLE, dfxstack_table[b].slot, dfxstack_table[b].name); return 0; }
        }
        for (i64 g = 0; g < PREDEFINED_NAMES; g++) {
            const NameEntry *e = &global_name_table[g];
            if (e->kind == 'V' && name_entry_equals(e, name)) {
                set_operand(out, OPERAND_VARIABLE, e->index, -1);
                return 0;
            }
        }
        return 1;
    }
    i64 e = find_local_name(name, function_row);
    if (e < 0) e = find_local_name_backward(name, function_row);
    if (e < 0) {
        e = add_name_entry(name, 'V');
        if (e < 0) return (int)error_number;
    }
    set_operand(out, OPERAND_LOCAL, local_name_table[e].index, e);
    return 0;
}

// ---- Function headers ------------------------------------------------------------------------

// Reads a name at *p into out. 0, 8 when no letter starts it, 23 when it
// is longer than NAME_MAX. A local may be "[]" and a system variable.
static int read_header_name(const char *h, i64 *p, char *out, bool allow_system) {
    i64 start = *p, n = 0;
    if (allow_system && h[start] == '[' && h[start + 1] == ']') {
        out[n++] = '[';
        out[n++] = ']';
        *p += 2;
        if (!is_letter(h[*p])) return 8;
    } else if (!is_letter(h[start])) {
        return 8;
    }
    while (is_name_char(h[*p])) {
        if (n >= NAME_MAX) return 23;
        out[n++] = h[(*p)++];
    }
    while (n > 0 && out[n - 1] == '_') n--;
    out[n] = 0;
    *p = skip_blanks(h, *p);
    if (allow_system && out[0] == '[') {
        for (i64 g = 0; g < PREDEFINED_NAMES; g++)
            if (global_name_table[g].kind == 'V' && name_entry_equals(&global_name_table[g], out)) return 0;
        return 8;
    }
    return 0;
}

struct HeaderParts {
    char result[NAME_MAX + 1], left[NAME_MAX + 1], fname[NAME_MAX + 1];
    char rights[16][NAME_MAX + 1];
    i64 right_count;
    bool has_result, has_left, paren;
    i64 locals_at;     // position of the first ';' of the locals, or -1
};

// The optional "z<-" and the one or two names before the arguments. The
// function name is the given one when given (a dyadic header names it
// second), else inferred from the shape of the header.
static int read_header_start(const char *h, i64 *p, HeaderParts *hp, const char *given) {
    char first[NAME_MAX + 1], second[NAME_MAX + 1];
    *p = skip_blanks(h, *p);
    int rc = read_header_name(h, p, first, false);
    if (rc) return rc;
    if (h[*p] == '<') {
        if (h[*p + 1] != '-') return 11;
        *p += 2;
        *p = skip_blanks(h, *p);
        strcpy(hp->result, first);
        hp->has_result = true;
        rc = read_header_name(h, p, first, false);
        if (rc) return rc;
    }
    if (!is_letter(h[*p])) {
        strcpy(hp->fname, first);
        if (given && strcmp(first, given) != 0) return 12;
        return 0;
    }
    i64 mark = *p;
    rc = read_header_name(h, p, second, false);
    if (rc) return rc;
    bool more = is_letter(h[*p]) || h[*p] == '(';
    bool first_is_name = given ? strcmp(first, given) == 0 : !more;
    if (first_is_name) {
        strcpy(hp->fname, first);
        *p = mark;
        return 0;
    }
    if (given && strcmp(second, given) != 0) return 12;
    strcpy(hp->left, first);
    hp->has_left = true;
    strcpy(hp->fname, second);
    return 0;
}

static int read_header_rest(const char *h, i64 *p, HeaderParts *hp) {
    if (h[*p] == '(') {
        hp->paren = true;
        (*p)++;
        while (true) {
            *p = skip_blanks(h, *p);
            if (hp->right_count >= 16) return 23;
            int rc = read_header_name(h, p, hp->rights[hp->right_count], false);
            if (rc) return rc;
            hp->right_count++;
            if (h[*p] == ';') { (*p)++; continue; }
            if (h[*p] == ')') { (*p)++; break; }
            return 12;
        }
        *p = skip_blanks(h, *p);
    } else if (is_letter(h[*p])) {
        int rc = read_header_name(h, p, hp->rights[0], false);
        if (rc) return rc;
        hp->right_count = 1;
    } else if (hp->has_left) {
        return 16;
    }
    if (hp->has_left && hp->right_count == 0) return 16;
    hp->locals_at = *p;
    while (h[*p] == ';') {
        (*p)++;
        *p = skip_blanks(h, *p);
        char local[NAME_MAX + 1];
        int rc = read_header_name(h, p, local, true);
        if (rc) return rc;
    }
    if (h[*p] != 0) return 16;
    return 0;
}

int parse_header_name(const char *header, char *name_out) {
    HeaderParts hp;
    memset(&hp, 0, sizeof hp);
    i64 p = 0;
    name_out[0] = 0;
    int rc = read_header_start(header, &p, &hp, nullptr);
    if (rc == 8) return 8;
    if (rc) return 23;
    snprintf(name_out, NAME_MAX + 1, "%s", hp.fname);
    return 0;
}

static i64 add_header_local(const char *name) { return add_name_entry(name, 'V'); }

int parse_function_header(const char *name, i64 function, const char *header, i64 length) {
    char text[LABEL_LINE_MAX + 1];
    if (length < 0 || length > LABEL_LINE_MAX) return (int)(error_number = VEK_DEFN);
    memcpy(text, header, (size_t)length);
    text[length] = 0;
    HeaderParts hp;
    memset(&hp, 0, sizeof hp);
    hp.locals_at = -1;
    i64 p = 0;
    int rc = read_header_start(text, &p, &hp, name);
    if (!rc) rc = read_header_rest(text, &p, &hp);
    if (rc) return (int)(error_number = rc);
    i64 first = lstnx, saved_pool = lsttnam;
    i64 result = -1, left = -1, right = -1;
    bool failed = false;
    if (hp.has_result) failed |= (result = add_header_local(hp.result)) < 0;
    if (!failed && hp.has_left) failed |= (left = add_header_local(hp.left)) < 0;
    for (i64 i = 0; !failed && i < hp.right_count; i++) {
        i64 e = add_header_local(hp.rights[i]);
        failed = e < 0;
        if (i == 0) right = e;
    }
    for (i64 q = hp.locals_at; !failed && q >= 0 && text[q] == ';';) {
        q++;
        q = skip_blanks(text, q);
        char local[NAME_MAX + 1];
        read_header_name(text, &q, local, true);
        failed = add_header_local(local) < 0;
    }
    if (failed) {
        lstnx = first;
        lsttnam = saved_pool;
        return (int)error_number;
    }
    FunctionEntry *f = &function_table[function];
    f->valence = hp.has_left ? 2 : (hp.right_count > 0 ? 1 : 0);
    f->result = result;
    f->left_arg = left;
    f->right_arg = right;
    f->right_count = hp.right_count;
    f->header_start = lstnx > first ? first : -1;
    f->header_end = lstnx > first ? lstnx : -1;
    return 0;
}

// ---- Labels ------------------------------------------------------------------------------------

int collect_function_labels(TextLine *first, i64 count) {
    TextLine *t = first;
    for (i64 i = 0; t && i < count; i++, t = t->next) {
        if (i == 0 || !t->text) continue;
        size_t n = strlen(t->text);
        if (n > (size_t)LABEL_LINE_MAX) return (int)(error_number = VEK_PARSE);
        const char *s = t->text;
        if (!is_letter(s[0])) continue;
        char name[NAME_MAX + 1];
        i64 k = 0, p = 0;
        while (is_name_char(s[p])) {
            if (k >= NAME_MAX) return (int)(error_number = VEK_PARSE);
            name[k++] = s[p++];
        }
        name[k] = 0;
        p = skip_blanks(s, p);
        if (s[p] != ':') continue;
        i64 e = add_name_entry(name, 'L');
        if (e < 0) return (int)error_number;
        local_name_table[e].index = i;
    }
    return 0;
}

// ---- Listing the defined names ---------------------------------------------------------

static const char SLOT_CHARS[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";

// Pre-order walk, children in slot order: names come out in ASCII order.
static TextLine *walk_trie(NameTrieNode *n, char kind, char *path, i64 depth, TextLine *tail) {
    if (n->value && n->value->kind == kind) {
        path[depth] = 0;
        tail = append_text_line(tail, path);
    }
    if (depth >= NAME_MAX) return tail;
    for (int i = 0; i < 64; i++) {
        if (!n->child[i]) continue;
        path[depth] = SLOT_CHARS[i];
        tail = walk_trie(n->child[i], kind, path, depth + 1, tail);
    }
    return tail;
}

static bool holds_value(i64 slot) {
    return slot >= 0 && slot < SLOT_COUNT && value_slot_table[slot].rank != -1;
}

// The innermost active defined function other than the query layer's.
static i64 innermost_function() {
    for (i64 k = si_depth; k >= 0; k--) {
        i64 f = state_indicator[k].function;
        if (f >= FIRST_USER_FUNCTION && f < FUNCTION_CAP && !is_query_function(f)) return f;
    }
    return -1;
}

static void insert_local_names(i64 first, i64 last, bool header) {
    char text[NAME_MAX + 1];
    for (i64 i = first; i <= last && i < LOCAL_NAME_CAP; i++) {
        if (i < 0) continue;
        const NameEntry *e = &local_name_table[i];
        if (e->kind != 'V') continue;
        name_entry_text(e, text);
        if (!header && text[0] == '[') continue;
        if (!holds_value(e->index)) continue;
        name_trie_insert(text, i, 'V');
    }
}

TextLine *collect_names(const char *prefix, char kind) {
    name_trie_init();
    char text[NAME_MAX + 1];
    for (i64 g = PREDEFINED_NAMES; g <= lstgx; g++) {
        const NameEntry *e = &global_name_table[g];
        if (e->kind != kind) continue;
        if (kind == 'V' && !holds_value(e->index)) continue;
        name_entry_text(e, text);
        if (is_query_function_name(text)) continue;
        name_trie_insert(text, g, kind);
    }
    i64 f = kind == 'V' ? innermost_function() : -1;
    if (f >= 0) {
        const FunctionEntry *fe = &function_table[f];
        insert_local_names(fe->header_start + 1, fe->header_end, true);
        insert_local_names(fe->body_start + 1, fe->body_end, false);
    }
    NameTrieNode *n = name_trie_root;
    for (const char *p = prefix; n && *p; p++) {
        int s = name_trie_slot((unsigned char)*p);
        n = s < 0 ? nullptr : n->child[s];
    }
    TextLine *head = nullptr;
    if (n) {
        head = new_text_line();
        char path[NAME_MAX + 2];
        i64 depth = (i64)strlen(prefix);
        if (depth > NAME_MAX) depth = NAME_MAX;
        memcpy(path, prefix, (size_t)depth);
        walk_trie(n, kind, path, depth, head);
    }
    name_trie_free(name_trie_root);
    return head;
}

int list_names(const char *prefix, char kind, int to_list) {
    TextLine *head = collect_names(prefix, kind);
    if (!head) return -1;
    if (to_list) {
        print_in_columns(head, 3, 0);
    } else if (add_symbol_item) {
        for (TextLine *t = head->next; t; t = t->next) add_symbol_item(kind, t->text);
    }
    free_text_lines(head);
    return 0;
}
