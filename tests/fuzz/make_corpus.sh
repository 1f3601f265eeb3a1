#!/usr/bin/env bash
# Remakes the seed corpora of the fuzz targets from the project's own
# material: one session file per transcript case (its typed lines), and a
# few small workspaces saved by the console. The script corpus is written
# by hand and kept as it is. Usage: tests/fuzz/make_corpus.sh [console]
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
echo "corpus_session: $(ls tests/fuzz/corpus_session | wc -l) files;" \
     "corpus_workspace: $(ls tests/fuzz/corpus_workspace | wc -l) files"
