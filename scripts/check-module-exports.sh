#!/usr/bin/env bash
# Checks the interface of a built module against what the renderer expects:
#   Windows (PE, pexil.p): the export table names exactly _mod_descrip, and the only DLLs
#                          imported are KERNEL32.dll and msvcrt.dll.
#   Linux (ELF, pexil.so): the only defined dynamic symbol is _mod_descrip.
# Prints what it found; exits 1 with a message naming the offenders otherwise.
# Tools: i686-w64-mingw32-objdump for PE (override with OBJDUMP_PE), objdump for ELF (OBJDUMP).
set -euo pipefail

readonly EXPORT=_mod_descrip
readonly ALLOWED_DLLS=(kernel32.dll msvcrt.dll)

die() {
    echo "check-module-exports: $*" >&2
    exit 1
}

[[ $# -eq 1 ]] || die "usage: $0 <pexil.p | pexil.so>"
file=$1
[[ -f $file ]] || die "$file: no such file"

magic=$(head -c 4 "$file" | od -An -tx1 | tr -d ' \n')

failures=()

# Prints the exported names and records a failure unless they are exactly $EXPORT.
check_exports() {
    local -a names=("$@") extra=()
    local n
    echo "  exported symbols: ${#names[@]}"
    for n in "${names[@]}"; do
        echo "    $n"
        [[ $n == "$EXPORT" ]] || extra+=("$n")
    done
    if [[ ${#extra[@]} -gt 0 ]]; then
        local shown="${extra[*]:0:3}"
        [[ ${#extra[@]} -le 3 ]] || shown+=" ..."
        failures+=("exports ${#extra[@]} symbol(s) besides $EXPORT: $shown")
    elif [[ ${#names[@]} -ne 1 ]]; then
        failures+=("does not export $EXPORT")
    fi
}

case $magic in
4d5a*) # "MZ": a PE image
    objdump=${OBJDUMP_PE:-i686-w64-mingw32-objdump}
    command -v "$objdump" >/dev/null || die "$objdump not found (package binutils-mingw-w64-i686)"
    dump=$("$objdump" -p "$file") || die "$file: $objdump -p failed"
    echo "check-module-exports: $file (PE)"

    # Export names follow the "[Ordinal/Name Pointer] Table" heading, one a line, up to a blank
    # line; the name is the last field ("[   0] name" or "+base[   1] 0000 name").
    mapfile -t exports < <(awk '
        /^\[Ordinal\/Name Pointer\] Table/ { in_table = 1; next }
        in_table && NF == 0 { in_table = 0 }
        in_table { print $NF }' <<<"$dump" | sort)
    mapfile -t dlls < <(awk '/^[ \t]*DLL Name:/ { print $3 }' <<<"$dump" | sort -fu)
    echo "  imported DLLs: ${#dlls[@]}"
    printf '    %s\n' "${dlls[@]}"

    check_exports "${exports[@]}"
    bad_dlls=()
    for dll in "${dlls[@]}"; do
        ok=0
        for allowed in "${ALLOWED_DLLS[@]}"; do
            if [[ ${dll,,} == "$allowed" ]]; then ok=1; fi
        done
        [[ $ok -eq 1 ]] || bad_dlls+=("$dll")
    done
    if [[ ${#bad_dlls[@]} -gt 0 ]]; then
        failures+=("imports DLLs other than KERNEL32.dll and msvcrt.dll: ${bad_dlls[*]}")
    fi
    ;;
7f454c46) # "\x7fELF"
    objdump=${OBJDUMP:-objdump}
    command -v "$objdump" >/dev/null || die "$objdump not found (package binutils)"
    dyn=$("$objdump" -T "$file") || die "$file: $objdump -T failed"
    echo "check-module-exports: $file (ELF)"

    # Version definition names show up as absolute symbols; they are not exports.
    mapfile -t verdefs < <("$objdump" -p "$file" | awk '
        /^Version definitions:/ { in_defs = 1; next }
        in_defs && NF == 0 { in_defs = 0 }
        in_defs && NF >= 4 { print $4 }')
    # A dynamic symbol line is "VALUE FLAGS(7 chars) SECTION SIZE [VERSION] NAME". Keep the
    # defined ones (section not *UND*), skip section symbols (flag d) and version names.
    mapfile -t exports < <(awk -v verdefs="${verdefs[*]:-}" '
        BEGIN { n = split(verdefs, v, " "); for (i = 1; i <= n; i++) skip[v[i]] = 1 }
        /^[0-9a-f]+ / {
            flags = substr($0, index($0, " ") + 1, 7)
            rest = substr($0, index($0, " ") + 9)
            split(rest, f, /[ \t]+/)
            section = f[1]
            name = $NF
            if (section == "*UND*" || flags ~ /d/) next
            if (section == "*ABS*" && (name in skip)) next
            print name
        }' <<<"$dyn" | sort -u)

    check_exports "${exports[@]}"
    ;;
*)
    die "$file: neither a PE nor an ELF file"
    ;;
esac

if [[ ${#failures[@]} -gt 0 ]]; then
    for f in "${failures[@]}"; do
        echo "check-module-exports: FAILED: $file: $f" >&2
    done
    exit 1
fi
echo "check-module-exports: OK"
