#!/usr/bin/env bash
# Configures (once) and builds one build tree.  build.sh DIR [cmake options...]
# Prints a line per phase and the build tool's progress: on a terminal one status line that
# ninja's [n/N] counter rewrites, otherwise a line per tenth of the work. Prints nothing when
# there is nothing to do. Compiler messages pass through.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath -m "$1"); shift
launcher=()
if command -v ccache >/dev/null; then
    # Relative paths let checkouts in other folders share the cache.
    export CCACHE_BASEDIR="$root"
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
args=(-S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="${QVD_BUILD_TYPE:-RelWithDebInfo}" "${launcher[@]}" "$@")
# A tree configured with the same options needs no new configure step: ninja re-runs cmake by
# itself when a CMakeLists.txt changes.
stamp="$dir/.qvd-configure-args"
wanted="${CC:-} ${CXX:-} ${args[*]}"
if [ ! -f "$dir/build.ninja" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$wanted" ]; then
    echo "Configuring $(basename "$dir")..."
    mkdir -p "$dir"
    cmake "${args[@]}" >"$dir/configure.log" 2>&1 || { cat "$dir/configure.log" >&2; rm -f "$stamp"; exit 1; }
    printf '%s\n' "$wanted" >"$stamp"
fi
tty=0
[ -t 1 ] && tty=1
# mawk (Debian's awk) reads a pipe in blocks unless it is told to read lines: the progress
# would come all at once at the end.
awk=(awk)
case "$(awk -W version 2>&1)" in *mawk*) awk=(awk -W interactive) ;; esac
NINJA_STATUS='[%f/%t] ' cmake --build "$dir" -- -j"$(nproc)" 2>&1 | "${awk[@]}" -v tty=$tty -v name="$(basename "$dir")" '
    function endline() { if (open) { printf "\n"; open = 0 } }
    /^\[[0-9]+\/[0-9]+\] / {
        split(substr($1, 2, length($1) - 2), count, "/")
        # CONFIGURE_DEPENDS globs are looked at on every run; that alone is no work.
        if ($0 ~ /Re-checking globbed directories/) next
        if ($0 ~ /Re-running CMake/) { endline(); print "Configuring " name " (build files changed)..."; fflush(); next }
        if (!started) { endline(); printf "Building %s...\n", name; started = 1 }
        if (tty) {
            line = $0; if (length(line) > 100) line = substr(line, 1, 97) "..."
            printf "\r%s\033[K", line; open = 1
        } else if (int(count[1] * 10 / count[2]) > tenth) {
            tenth = int(count[1] * 10 / count[2]); printf "  %d%% (%d/%d)\n", tenth * 10, count[1], count[2]
        }
        fflush(); next
    }
    /^ninja: no work to do/ || /^-- / || /^ninja: Entering directory/ { next }
    { endline(); print; fflush() }
    END { if (open) printf "\r\033[K"; if (started) printf "Built %s.\n", name }'
exit "${PIPESTATUS[0]}"
