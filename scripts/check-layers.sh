#!/usr/bin/env bash
# Fails when a file of the library includes a header of a higher layer. The layers, lowest first
# (see "Layers" in docs/design.md):
#   platform (src/platform/, and common/)  <  writer  <  batch  <  handlers, nox  <  api
# A file may include headers of its own layer and of lower ones. common/ is shared with the
# companions and tools, so it includes no header of the library at all. A folder of src/ that
# is not in this list fails too, so every new folder gets its place in the order.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A rank=([platform]=0 [writer]=1 [batch]=2 [handlers]=3 [nox]=3 [api]=4)

status=0
for folder in src/*/; do
    name=$(basename "$folder")
    if [ -z "${rank[$name]+set}" ]; then
        echo "src/$name/: a folder without a layer; add it to scripts/check-layers.sh" >&2
        status=1
    fi
done

ranks=$(for name in "${!rank[@]}"; do echo "$name=${rank[$name]}"; done)
# Every quoted include of the form "<folder>/<header>": file, line, including layer, folder.
violations=$(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/' src common |
    awk -v ranks="$ranks" '
        BEGIN {
            split(ranks, pairs, "\n")
            for (i in pairs) { split(pairs[i], kv, "="); rank[kv[1]] = kv[2] }
        }
        {
            split($0, at, ":")
            file = at[1]; line = at[2]
            split(file, path, "/")
            own = path[1] == "common" ? "common" : path[2]
            header = $0
            sub(/^[^"]*"/, "", header); sub(/".*$/, "", header)
            split(header, parts, "/"); target = parts[1]
            if (!(target in rank)) next
            if (own == "common")
                printf "%s:%s: common/ includes the library header %s\n", file, line, header
            else if (own in rank && rank[target] > rank[own])
                printf "%s:%s: %s (layer %s) includes %s of the higher layer %s\n",
                       file, line, own, rank[own], header, target
        }')
if [ -n "$violations" ]; then
    echo "$violations" >&2
    status=1
fi
exit $status
