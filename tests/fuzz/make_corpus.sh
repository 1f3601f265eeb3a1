#!/usr/bin/env bash
# Remakes the seed corpora and dictionaries of the fuzz targets from the
# project's own material: one session file per transcript case (its typed
# lines), a few small workspaces saved by the console, byte streams of
# server frames, and the tokens of every primitive and system function in
# core/codes.def. The script corpus is written by hand and kept as it is.
# Usage: tests/fuzz/make_corpus.sh [console]
set -euo pipefail
cd "$(dirname "$0")/../.."
console=${1:-build/vek-console}
[ -x "$console" ] || { echo "make_corpus: build $console first" >&2; exit 1; }

# Sessions: the "> " lines of each case, in order. Cases that touch files
# or end the process are left in; the target filters such commands itself.
out=tests/fuzz/corpus_session
rm -rf "$out" && mkdir -p "$out"
for t in tests/transcripts/*.vt; do
  awk -v dir="$out" -v base="$(basename "$t" .vt)" '
    /^=== / { n++; file = sprintf("%s/%s_%03d", dir, base, n); next }
    /^>/    { if (file == "") { n++; file = sprintf("%s/%s_%03d", dir, base, n) }
              line = substr($0, 2); sub(/^ /, "", line); print line > file }
  ' "$t"
done

# Workspaces: each saved from a fresh console after a few lines, so every
# file holds the system variables plus the values or functions named.
out=tests/fuzz/corpus_workspace
rm -rf "$out" && mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
save() {   # save NAME LINE...
  local name=$1; shift
  { printf '%s\n' "$@"; printf ")save '%s/%s.vek'\n" "$tmp" "$name"; } |
    "$console" >/dev/null 2>&1 || true
  if [ -s "$tmp/$name.vek" ]; then cp "$tmp/$name.vek" "$out/$name.vek"
  else echo "make_corpus: no workspace saved for $name" >&2; fi
}
save empty
save integers 'a<-1 2 3' 'b<-_7' 'c<-!0'
save floats 'x<-2.5 0.1 1e10' 'y<-0n 0w _0w'
save text "s<-'hello world'" "t<-'a'" "e<-''"
save symbols "s<-\`a\`bc\`d" "one<-\`x"
save nested "n<-(1;'ab';(\`x;2.5))" 'm<-(1 2;3)'
save times 't<-09:05:07.008' 'u<-09:05' 'v<-2015.08.10'
save complex 'z<-3j4 1j_1'
save function '{f: z<-x+1}' '{g: ->(x=1)/L2; z<-10; ->0; L2: z<-20}' 'v<-f 4'
save mixed 'a<-1 2 3' "b<-'abc'" '{k: z<-x*2}' '[]PP<-3' "r<-(1;'ab')"
save keyed "d<-\`a\`b:1 2" "t<-([] a<-1 2; s<-\`x\`y)" "k<-([k<-\`p\`q] v<-3 4)" "dom<-\`x\`y" "e<-\`dom:\`y\`x"
save loops '{w: s<-0; while (s<x) s<-s+1; s}' '{f: s<-0; for (i: 1; x) s<-s+i; s}'
# The same files as written before the check word (the earlier format date,
# no word at the end): changed bytes there reach the record checks.
python3 - "$out" <<'EOF'
import os, sys
out = sys.argv[1]
for name in ['times', 'keyed', 'mixed', 'function', 'nested']:
    path = os.path.join(out, name + '.vek')
    if not os.path.exists(path): continue
    data = bytearray(open(path, 'rb').read()[:-8])
    at = data.index(b'\n\n') + 2 + 4
    data[at:at + 4] = (20150810).to_bytes(4, 'little')
    open(os.path.join(out, name + '_unchecked.vek'), 'wb').write(data)
EOF

# Server frames: two bytes choosing the cuts, then a client's byte stream.
python3 - tests/fuzz/corpus_frames <<'EOF'
import os, struct, sys
out = sys.argv[1]
os.makedirs(out, exist_ok=True)
for f in os.listdir(out): os.remove(os.path.join(out, f))
def frame(text): return struct.pack('>I', len(text)) + text
seeds = {
    'one': b'\x00\x01' + frame(b'1+2+3'),
    'several': b'\x12\x34' + frame(b'a<-1 2 3') + frame(b'') + frame(b'+/a') + frame(b')vars'),
    'length_200': b'\x00\x07' + frame(b'x' * 200),
    'longest': b'\x43\x21' + frame(b'y' * 4095) + frame(b'2*3'),
    'too_long': b'\x77\x01' + frame(b'z' * 4096) + frame(b'1'),
    'cut_prefix': b'\x00\x02' + frame(b'1') + b'\x00\x00',
    'cut_text': b'\x00\x03' + struct.pack('>I', 10) + b'abc',
    'huge_claim': b'\x00\x04' + b'\xff\xff\xff\xff' + b'abc',
    'crlf': b'\x99\x00' + frame(b'1+1\r\n') + frame(b'\r\n'),
}
for name, data in seeds.items():
    with open(os.path.join(out, name), 'wb') as f: f.write(data)
EOF

# Export tables: bytes that the target turns into a table (table_maker.h),
# from a fixed generator so that the seeds stay the same.
python3 - tests/fuzz/corpus_export <<'EOF'
import os, random, sys
out = sys.argv[1]
os.makedirs(out, exist_ok=True)
for f in os.listdir(out): os.remove(os.path.join(out, f))
r = random.Random(2718)
for i in range(24):
    size = r.choice([16, 64, 160, 400])
    with open(os.path.join(out, f'table_{i:02d}'), 'wb') as f: f.write(bytes(r.randrange(256) for _ in range(size)))
EOF

# SQL statements: the texts handed to do in the query transcripts (quotes
# undoubled), one file per transcript case.
python3 - tests/fuzz/corpus_do tests/transcripts/query.vt <<'EOF'
import os, re, sys
out, transcript = sys.argv[1], sys.argv[2]
os.makedirs(out, exist_ok=True)
for f in os.listdir(out): os.remove(os.path.join(out, f))
cases, case = [], []
for line in open(transcript, encoding='utf-8', errors='replace'):
    if line.startswith('=== '):
        cases.append(case)
        case = []
    elif line.startswith('>'):
        case += [m.replace("''", "'") for m in re.findall(r"\bdo '((?:[^']|'')*)'", line)]
cases.append(case)
for n, statements in enumerate(c for c in cases if c):
    with open(os.path.join(out, f'query_{n:03d}'), 'w') as f: f.write('\n'.join(statements) + '\n')
EOF

# Dictionaries: every glyph and system function of the code table, the
# built-in functions and system variables, and tokens of the statement
# forms, so that the fuzzer reaches each primitive without finding it.
python3 - core/codes.def tests/fuzz <<'EOF'
import re, sys
codes, out = sys.argv[1], sys.argv[2]
text = open(codes).read()
quoted = r'"((?:[^"\\]|\\.)*)"'
glyphs, sysfns = [], []
for line in text.splitlines():
    m = re.match(r'PRIM\(\s*\d+,\s*\w+,\s*\d+,\s*' + quoted, line)
    if m and m.group(1): glyphs.append(m.group(1))
    m = re.match(r'SYSFN\(\s*\d+,\s*\w+,\s*' + quoted, line)
    if m: sysfns.append('[]' + m.group(1))
def esc(s): return s.replace('\\', '\\\\').replace('"', '\\"')
def unique(xs): return list(dict.fromkeys(xs))
glyphs = unique([g.encode().decode('unicode_escape') for g in glyphs])
words = ['key', 'value', 'xkey', 'cols', 'meta', 'keys', 'fkeys', 'do', 'like',
         '[]IO', '[]PP', '[]RL', '[]AV', '[]LX', '[]OF', '[]<-', '[)',
         'if', 'else', 'while', 'for', 'case', 'break', 'continue']
forms = ['->', '->0', '+/', '+\\', '/.', '\\.', '+:*', '.:*', '.:=', ',[1]', '[0]', '[;]', '[1;]',
         '0n', '0w', '_0w', '0nf', '0wf', '_0wf', '0nj', '1j2', '1e10', '_1.5e_3',
         '_9223372036854775808', '9223372036854775807', '`abc', '`a`b`c', "'it''s'", "''",
         '2015.08.10', '2015.08m', '09:05', '09:05:07', '09:05:07.008', '2015.08.10T09:05:07.008',
         '{f: z<-x+1}', '{g: z<-x g y}', '{w: while (x>0) x<-x-1; x}', '{h: for (i: 1; x) z<-i}',
         'if (x) z<-1 else z<-2', 'case (x) { 1: z<-1; else z<-2 }',
         '(1;\'ab\';(`x;2.5))', '([] a<-1 2 3; b<-`x`y`z)', '([k<-`a`b] v<-1 2)', '`a`b:1 2',
         '`dom:`y', 't.a', 'x.year', "'a%' like", 'do \'select a from t\'']
session_only = [')vars', ')fns', ')si', ')sic', ')clear', ')index', ')trace', ')gc']
script_only = ['@.z<-f x', '@.', '&v I 1 3', '&', '&t A']
header = ('# Tokens of typed lines: every glyph and system function of the code table\n'
          '# (made by make_corpus.sh from core/codes.def), built-in names, literals\n'
          '# and the forms of statements.\n')
for target, extra in (('session', session_only), ('script', script_only)):
    with open(f'{out}/fuzz_{target}.dict', 'w') as f:
        f.write(header)
        for t in unique(glyphs + sysfns + words + forms + extra): f.write(f'"{esc(t)}"\n')
        f.write('"\\x0d\\x0a"\n')
with open(f'{out}/fuzz_do.dict', 'w') as f:
    f.write('# Words and forms of the statements, and the columns of the target\'s tables.\n')
    for t in ['SELECT', 'EXEC', 'FROM', 'WHERE', 'BY', 'OR', 'IN', 'LIKE', 'CREATE TABLE', 'INSERT INTO',
              'LOAD TABLE', 'UPDATE', 'SUM', 'COUNT', 'MAX', 'MIN', 'FIRST', 'AVG', ' t', ' u', ' kt', ' e',
              ' empty', 'a,b', '*', '<-', '=', '<', '>', '~', '<=', '>=', '~=', '+', '-', '%', '.',
              "'", "''", '`', '(', ')', ';', '1 2', '1.5', '0n', '2024.01.02', '10:20', "'a%'", "'_b'",
              't.a', 'e.f', 'kt.name', 'dom', "'CIE'", "'IS'", '([] a<-1 2)', "(CSV 'x.csv';'I')"]:
        f.write(f'"{esc(t)}"\n')
with open(f'{out}/fuzz_csv.dict', 'w') as f:
    f.write('# Cells of every type letter in their text forms, quotes and line ends.\n')
    for t in ['\\"\\"', '\\",\\"', ',,', '\\x0d\\x0a', '0n', '0w', '_0w', '0nf', '0wf', '_0wf', '_1.5e_3',
              '9223372036854775807', '2024.05.17', '5/17/2024', '2024.05m', '09:05', '09:05:07', '09:05:07.008',
              '2024.05.17T09:05:07.008', 'true', 'name,qty,price']:
        f.write(f'"{t}"\n')
with open(f'{out}/fuzz_export.dict', 'w') as f:
    f.write('# Eight-byte words a float or integer cell is read from: nulls, infinities,\n'
            '# negative zero, the smallest and largest numbers.\n')
    for w in ['7ff8000000000000', '7ff0000000000000', '8000000000000000', '0000000000000001',
              '7fefffffffffffff', '7fffffffffffffff']:
        f.write('"' + ''.join('\\x' + w[i:i + 2] for i in range(0, 16, 2)) + '"\n')
with open(f'{out}/fuzz_frames.dict', 'w') as f:
    f.write('# Length prefixes around the largest text a frame may carry, and texts.\n')
    for t in ['\\x00\\x00\\x00\\x00', '\\x00\\x00\\x00\\x05', '\\x00\\x00\\x0f\\xff', '\\x00\\x00\\x10\\x00',
              '\\x00\\x01\\x00\\x00', '\\xff\\xff\\xff\\xff', '\\x80\\x00\\x00\\x00', '1+2+3', ')vars', '\\x0d\\x0a']:
        f.write(f'"{t}"\n')
EOF
echo "corpus_session: $(ls tests/fuzz/corpus_session | wc -l) files;" \
     "corpus_workspace: $(ls tests/fuzz/corpus_workspace | wc -l) files;" \
     "corpus_frames: $(ls tests/fuzz/corpus_frames | wc -l) files;" \
     "corpus_export: $(ls tests/fuzz/corpus_export | wc -l) files;" \
     "corpus_do: $(ls tests/fuzz/corpus_do | wc -l) files"
