#!/usr/bin/env bash
# test-parallel-recipe.sh BUILD_DIR ARCH: the documented recipe for several
# machines, GNU parallel over ssh with one share per machine, all writing
# into one DEST, one report per share. The stand-in for ssh runs the command
# here, as another "machine" with a home (and so a Wine prefix) of its own;
# one machine is lost in the first round, and --resume finishes its share.
set -uo pipefail
build=$(cd "$1" && pwd) arch=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap cleanup EXIT
command -v parallel >/dev/null || { echo "test-parallel-recipe: GNU parallel is not installed" >&2; exit 1; }
source "$here/batch-layout.sh"
unset WINEPREFIX

# The stand-in for ssh: [options] HOST [--] COMMAND...; a machine named in
# $work/lost does not answer.
cat > "$work/ssh" <<STANDIN
#!/usr/bin/env bash
while [ \$# -gt 0 ]; do case "\$1" in -l|-p|-o|-i|-F) shift 2 ;; -*) shift ;; *) break ;; esac; done
host=\$1; shift
[ "\${1:-}" = -- ] && shift
grep -qx "\$host" "$work/lost" 2>/dev/null && { echo "ssh: \$host: no route to host" >&2; exit 255; }
# What sshd sets for the session: GNU parallel's remote worker starts the
# command through \$SHELL, and does nothing (exit 0) when it is unset.
export HOME="$work/machines/\$host" SHELL=/bin/bash
exec bash -c "\$*"
STANDIN
chmod +x "$work/ssh"
touch "$work/lost"

# One prefix made by the script, copied for each machine (making it takes a
# minute; a copy is the same prefix).
mkdir -p "$work/empty"
HOME=$work/template "$pkg/docvane-batch" --arch "$arch" import "$work/empty" "$work/empty-out" --quiet 2>/dev/null
for m in m1 m2; do mkdir -p "$work/machines/$m/.local/share" && cp -a "$work/template/.local/share/docvane" "$work/machines/$m/.local/share/"; done

src=$work/shared/in dst=$work/shared/out
count=24
for i in $(seq 1 $count); do mkdir -p "$src/box $((i % 4))"; echo "slow 50" > "$src/box $((i % 4))/doc $i.doc"; done

recipe() {
  parallel --will-cite --ssh "$work/ssh" -S 1/m1,1/m2 --halt never \
    "$pkg/docvane-batch" --arch "$arch" import "'$src'" "'$dst'" --shard {}/2 --report "'$dst'/report-{}.jsonl" --resume --quiet \
    ::: 1 2 2>"$work/parallel.err"
}
echo m2 > "$work/lost"
recipe
check "first round: a machine was lost" [ $? -ne 0 ]
: > "$work/lost"
recipe
status=$?
check "second round: every share converted" [ $status -eq 0 ]
cat "$dst"/report-*.jsonl > "$work/all.jsonl"
check "the shares' reports cover every document exactly once" \
  [ "$(outcomes "$work/all.jsonl" | awk '{print $NF}' | sort | uniq -c | awk '{print $1, $2}')" = "$count converted" ]
check "no document twice" [ -z "$(outcomes "$work/all.jsonl" | sort | uniq -d)" ]
check "every output there" [ "$(find "$dst" -name '*.doc.rtf' | wc -l)" -eq $count ]
check "two reports, no work folder" [ "$(ls -A "$dst" | grep -v '^box' | sort | tr '\n' ' ')" = "report-1.jsonl report-2.jsonl " ]
[ $failures -eq 0 ] && echo "parallel recipe: all checks passed"
exit $((failures > 0))
