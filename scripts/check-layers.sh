#!/usr/bin/env bash
# Fails when a file includes a header it has no business with.
#
# The library's layers, lowest first (see "Layers" in docs/design.md):
#   platform (src/platform/, and common/)  <  writer  <  batch  <  handlers, nox  <  api
# A file of src/ may include headers of its own layer and of lower ones. common/ is shared with the
# companions and tools, so it includes no header of the library at all. A folder of src/ that is
# not in this list fails too, so every new folder gets its place in the order.
#
# Outside the library, each quoted include is looked up as the compiler would find it (beside the
# including file first, then anywhere in the tree) and judged by where the header lives:
#   companion/  common/, the library's public headers (include/ks_formats/), its own library's
#               headers, companion/formats/ and every companion's include/, and the container
#               code of companion/noxcommon/ (shared by the NOX companions); never src/, tools/
#               or python/, nor another companion's src/.
#   tools/      common/, the library's public headers, the companions' public headers
#               (companion/*/include/, companion/formats/), the host tools' shared libraries
#   python/     (tools/platform/include/, tools/hostkit/include/, tools/sampledata/include/)
#               and its own program's files; never src/, a companion's src/ (the container code is
#               reached through companion/noxcommon/include/ks_nox/), nor another tool's files.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A rank=([platform]=0 [writer]=1 [batch]=2 [handlers]=3 [nox]=3 [api]=4 [c_api]=5)

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

# The C interface is an adapter over the public C++ interface: it includes the library's public
# headers, common/ and its own files, never the library's insides.
inside=$(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' src/c_api |
    grep -vE '"(ks_formats|ks_common|c_api)/' || true)
if [ -n "$inside" ]; then
    echo "$inside" | sed 's/$/  (src\/c_api\/ uses the public interface only)/' >&2
    status=1
fi

# The companions, the tools and the Python module. Every header of the tree, then every quoted
# include of those folders (file:line:text), go to one awk program.
headers=$(git ls-files --cached --others --exclude-standard -- '*.h' '*.hpp')
violations=$( {
    echo "$headers" | sed 's/^/header /'
    grep -rnE --include='*.h' --include='*.hpp' --include='*.cpp' \
        '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' companion tools python | sed 's/^/include /'
} | awk '
    # Where a header lives, as a zone: the library'"'"'s public or internal headers, common/, a
    # companion'"'"'s public or internal headers, a shared tools library'"'"'s public headers, a
    # program'"'"'s own files.
    function zone(path,    p) {
        split(path, p, "/")
        if (p[1] == "include") return "public"
        if (p[1] == "common") return "common"
        if (p[1] == "src") return "library"
        if (p[1] == "companion") {
            if (p[2] == "formats" || p[3] == "include") return "companion-public"
            return "companion-src:" p[2]
        }
        if (p[1] == "tools") {
            if ((p[2] == "platform" || p[2] == "hostkit" || p[2] == "sampledata") && p[3] == "include")
                return "tools-public"
            return "tool:" p[2]
        }
        if (p[1] == "python") return "tool:python"
        return "other"
    }
    # The unit a file belongs to: its companion, its tool, or python; and that unit'"'"'s folder.
    function unit(path,    p) {
        split(path, p, "/")
        if (p[1] == "python") return "tool:python"
        if (p[1] == "tools") return "tool:" p[2]
        return "companion:" p[2]
    }
    function unitFolder(path,    p) {
        split(path, p, "/")
        return p[1] == "python" ? "python/" : p[1] "/" p[2] "/"
    }
    function dirname(path) { sub(/\/[^\/]*$/, "", path); return path }
    # The header the compiler finds: beside the including file, else a file of the tree whose
    # path ends in it below a folder that can be an include path (a header in include/ks_x/ is
    # found as "ks_x/name.h", never as "name.h"), preferring one of the same unit (names such as
    # scene.h occur twice).
    function resolve(file, header,    beside, found, path, folder, root) {
        beside = dirname(file) "/" header
        if (beside in exists) return beside
        found = ""
        folder = unitFolder(file)
        for (path in exists) {
            if (path != header && substr(path, length(path) - length(header)) != "/" header)
                continue
            root = substr(path, 1, length(path) - length(header) - 1)
            if (root ~ /(^|\/)include\/[^\/]+$/) continue
            if (found == "" || index(path, folder) == 1) found = path
        }
        return found
    }
    $1 == "header" { exists[$2] = 1; next }
    $1 == "include" {
        line = substr($0, 9)
        split(line, at, ":")
        file = at[1]; number = at[2]
        header = line
        sub(/^[^"]*"/, "", header); sub(/".*$/, "", header)
        target = resolve(file, header)
        if (target == "") next  # a generated or system header
        where = zone(target)
        own = unit(file)
        if (own ~ /^companion:/) {
            name = substr(own, 11)
            if (where == "library" || where ~ /^tool/)
                printf "%s:%s: a companion includes %s (%s): companions use only common/, the library'"'"'s public headers and companion headers\n", file, number, header, target
            else if (where ~ /^companion-src:/ && where != "companion-src:" name && where != "companion-src:noxcommon")
                printf "%s:%s: includes %s, an internal header of another companion (%s)\n", file, number, header, target
        } else {
            if (where == "library")
                printf "%s:%s: includes %s, an internal header of the library (%s): use <ks_formats/...>\n", file, number, header, target
            else if (where ~ /^companion-src:/)
                printf "%s:%s: includes %s, an internal header of companion/%s (%s): use the companion'"'"'s include/ headers (ks_nox/ for the container code)\n", file, number, header, substr(where, 15), target
            else if (where ~ /^tool:/ && where != own)
                printf "%s:%s: includes %s of another program (%s): share it through tools/hostkit/ or tools/platform/\n", file, number, header, target
        }
    }')
if [ -n "$violations" ]; then
    echo "$violations" >&2
    status=1
fi
exit $status
