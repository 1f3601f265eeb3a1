// Times a 1,000,000-row table with a text column (id, a permutation of the
// row numbers; f, floats in [0,1); t, texts of 3 to 18 letters) against the
// same table without the text column, and pandas on the same data, all in
// one run. Each row prints Vek with the text column, Vek without it and
// their ratio, then pandas and Vek's ratio to it:
//   assign   y<-t                          y = frame.copy(deep=False)
//   column   c<-t.t (c<-n.f without)       frame["t"].copy(deep=False)
//   reorder  u<-t[p], p a permutation      frame.take(p)
//   where    EXEC id FROM t WHERE f<0.5, id>100   frame.id[mask]
//   group    SELECT s<-SUM f BY id FROM t WHERE id<1000   groupby().agg(s=...)
//   xkey     k<-`id xkey t                 frame.set_index("id")
//   sort     u<-t[<t.f]                    frame.sort_values("f")
// Without the text column the table is n (same id and f), named so in the
// statements.
//   text_table_bench [rows] [repeats]
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include "harness.h"
#include "core/arena.h"
#include "core/tables.h"
#include "core/names.h"
#include "core/valueops.h"

static uint64_t seed = 11;
static uint64_t next() { return next_state(seed) >> 17; }

static void shuffle(i64 *v, i64 n) {
    for (i64 i = n - 1; i > 0; i--) {
        i64 j = (i64)(next() % (uint64_t)(i + 1)), t = v[i];
        v[i] = v[j];
        v[j] = t;
    }
}

// Texts are built as the CSV loader builds a text column: one character
// vector per row.
static void make_texts(i64 n) {
    ValueDescriptor *items = (ValueDescriptor *)make_global("ts", T_LIST, n);
    for (i64 i = 0; i < n; i++) {
        i64 len = 3 + (i64)(next() % 16);
        ValueDescriptor *d = &items[i];
        d->type = T_CHAR;
        d->rank = 1;
        d->count = d->dim0 = len;
        if (alloc_descriptor_data(d, 1)) {
            fprintf(stderr, "no room for the texts\n");
            exit(1);
        }
        char *p = (char *)d->data;
        for (i64 k = 0; k < len; k++) p[k] = (char)('a' + next() % 26);
    }
}

static void make_data(i64 n) {
    i64 *id = (i64 *)make_global("ids", T_INT, n);
    double *f = (double *)make_global("fs", T_FLOAT, n);
    for (i64 i = 0; i < n; i++) {
        id[i] = i;
        f[i] = (double)(next() % 1000000) / 1e6;
    }
    shuffle(id, n);
    make_texts(n);
    i64 *p = (i64 *)make_global("p", T_INT, n);
    for (i64 i = 0; i < n; i++) p[i] = i;
    shuffle(p, n);
}

// The columns the peer reads: the same ids, floats, texts and permutation.
static std::string write_peer_data(i64 n) {
    std::string path = "/tmp/vek_text_table_" + std::to_string((long long)getpid()) + ".txt";
    FILE *out = fopen(path.c_str(), "w");
    if (!out) return "";
    const ValueDescriptor *cols[4];
    const char *names[4] = {"ids", "fs", "ts", "p"};
    for (int k = 0; k < 4; k++) cols[k] = &value_slot_table[global_name_table[lookup_name(names[k], 'G')].index];
    for (i64 i = 0; i < n; i++) {
        const ValueDescriptor *text = &((const ValueDescriptor *)cols[2]->data)[i];
        fprintf(out, "%lld %.17g %.*s %lld\n", (long long)((const i64 *)cols[0]->data)[i],
                ((const double *)cols[1]->data)[i], (int)text->count, (const char *)text->data,
                (long long)((const i64 *)cols[3]->data)[i]);
    }
    fclose(out);
    return path;
}

int main(int argc, char **argv) {
    auto [n, repeat] = begin_bench(argc, argv, 1000000, 5);
    make_data(n);
    run_line("t<-([] id<-ids; f<-fs; t<-ts)");
    run_line("n<-([] id<-ids; f<-fs)");
    run_line("do 'EXEC id FROM n WHERE id<0'");   // loads the query layer
    struct { const char *name, *with, *without; } cases[] = {
        {"assign", "y<-t", "y<-n"},
        {"column", "c<-t.t", "c<-n.f"},
        {"reorder", "u<-t[p]", "u<-n[p]"},
        {"where", "r<-do 'EXEC id FROM t WHERE f<0.5, id>100'", "r<-do 'EXEC id FROM n WHERE f<0.5, id>100'"},
        {"group", "r<-do 'SELECT s<-SUM f BY id FROM t WHERE id<1000'",
         "r<-do 'SELECT s<-SUM f BY id FROM n WHERE id<1000'"},
        {"xkey", "k<-`id xkey t", "k<-`id xkey n"},
        {"sort", "u<-t[<t.f]", "u<-n[<n.f]"},
    };
    std::string data = write_peer_data(n);
    PeerTimes pandas = data.empty() ? PeerTimes() : peer_times(BENCH_DIR "/pandas_text_table.py", "%s %d", data.c_str(), repeat);
    if (!data.empty()) unlink(data.c_str());
    printf("%lld rows, best of %d (ms)\n", (long long)n, repeat);
    printf("%-10s %10s %10s %8s %10s %8s\n", "case", "with text", "without", "ratio", "pandas", "ratio");
    for (const auto &c : cases) {
        double with = best_line_ms(c.with, repeat), without = best_line_ms(c.without, repeat);
        auto at = pandas.find(c.name);
        if (at == pandas.end())
            printf("%-10s %10.3f %10.3f %8.2f %10s %8s\n", c.name, with, without, with / without, "-", "-");
        else
            printf("%-10s %10.3f %10.3f %8.2f %10.3f %8.2f\n", c.name, with, without, with / without, at->second,
                   with / at->second);
        fflush(stdout);
    }
    return 0;
}
