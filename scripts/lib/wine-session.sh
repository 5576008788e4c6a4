# A throwaway Wine session for the demonstration scripts: a temp folder, an X display, a new prefix, cleaned up at exit.
# shellcheck shell=bash
# Sourced by scripts/demo and scripts/screenshots (bash). Every Wine command's output goes to a file in the session
# folder: a pipe can be held open by the processes Wine starts at boot.

session_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# The x86-64 build under the native loader, unless session_use_win32 switches to the shipped 32-bit file.
session_ring=win64
session_build="$session_root/build/win64"
session_runner="$session_root/scripts/wine-run"
session_wineserver=/usr/lib/wine/wineserver64
session_server_env=()
session_dir=""
session_xvfb_pid=""
session_background_pids=()

session_say() { echo "$(basename "$0"): $*" >&2; }

# Ends what the session started, by process id, and removes its folder (prefix included).
session_cleanup() {
    local status=$?
    trap - EXIT
    local pid
    for pid in "${session_background_pids[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    if [ -n "$session_dir" ] && [ -d "$session_dir/prefix" ]; then
        env "${session_server_env[@]}" timeout 20 "$session_wineserver" -k >/dev/null 2>&1
        env "${session_server_env[@]}" timeout 20 "$session_wineserver" -w >/dev/null 2>&1
    fi
    if [ -n "$session_xvfb_pid" ]; then
        kill "$session_xvfb_pid" 2>/dev/null
        wait "$session_xvfb_pid" 2>/dev/null
    fi
    if [ -n "$session_dir" ] && [ -z "${SESSION_KEEP:-}" ]; then
        chmod -R u+w "$session_dir" 2>/dev/null
        rm -rf "$session_dir"
    elif [ -n "$session_dir" ]; then
        session_say "kept $session_dir"
    fi
    exit "$status"
}

# Makes the session folder and arms the cleanup.
session_begin() {
    session_dir="$(mktemp -d "${TMPDIR:-/tmp}/pelvane-$1.XXXXXX")"
    trap session_cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    export PELVANE_WINEPREFIX="$session_dir/prefix"
    session_server_env=(WINEPREFIX="$PELVANE_WINEPREFIX")
}

# Makes the session run the shipped 32-bit file and the 32-bit driver and stand-in (build/win32) under Wine's i386
# loader in qemu emulation (scripts/wine32-run), in a win32 prefix. Call it after session_begin.
session_use_win32() {
    session_ring=win32
    session_build="$session_root/build/win32"
    session_runner="$session_root/scripts/wine32-run"
    export PELVANE_WINE32_PREFIX="$PELVANE_WINEPREFIX"
    # The emulated Wine finds its server through a folder under the TMPDIR that scripts/wine32-run gives it.
    session_server_env+=(TMPDIR="$PELVANE_WINEPREFIX.tmp")
}

# Brings the session's build up to date (Remove Pelvane.exe, pelvane-driver.exe, pelvane-standin.exe), and for the
# 32-bit file the emulator tree too.
session_build_programs() {
    local configure="$session_ring" build="$session_ring"
    [ "$session_ring" = win32 ] && build=win32-wine
    if [ ! -f "$session_build/CMakeCache.txt" ]; then
        (cd "$session_root" && cmake --preset "$configure" >"$session_dir/configure.log" 2>&1) ||
            { cat "$session_dir/configure.log" >&2; session_say "configuring the $configure build failed"; return 1; }
    fi
    (cd "$session_root" && cmake --build --preset "$build" >"$session_dir/build.log" 2>&1) ||
        { cat "$session_dir/build.log" >&2; session_say "building the $build build failed"; return 1; }
    if [ "$session_ring" = win32 ]; then
        "$session_root/scripts/setup-wine32" || { session_say "the i386 emulator for Wine is not set up"; return 1; }
    fi
}

# Starts an Xvfb of our own: on display $1 when given (":44"), else on the first free display Xvfb finds.
# Sets PELVANE_DISPLAY.
session_start_xvfb() {
    local wanted="${1:-}" size="${2:-1024x768}"
    if [ -n "$wanted" ]; then
        if [ -e "/tmp/.X11-unix/X${wanted#:}" ]; then
            session_say "display $wanted is already in use"
            return 1
        fi
        Xvfb "$wanted" -screen 0 "${size}x24" -nolisten tcp >"$session_dir/xvfb.log" 2>&1 &
        session_xvfb_pid=$!
        PELVANE_DISPLAY="$wanted"
    else
        Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$session_dir/display" >"$session_dir/xvfb.log" 2>&1 &
        session_xvfb_pid=$!
        local _
        for _ in $(seq 100); do
            [ -s "$session_dir/display" ] && break
            sleep 0.1
        done
        PELVANE_DISPLAY=":$(tr -d '\n' <"$session_dir/display")"
    fi
    export PELVANE_DISPLAY
    local _
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X${PELVANE_DISPLAY#:}" ] && return 0
        kill -0 "$session_xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    cat "$session_dir/xvfb.log" >&2
    session_say "Xvfb did not start"
    return 1
}

# Runs a Windows program (or Wine tool) in the session's prefix, output to the file $1, within $2 seconds.
session_wine() {
    local out="$1" limit="$2"
    shift 2
    timeout "$limit" "$session_runner" "$@" >"$out" 2>&1
}

# Stops the prefix's wineserver and waits until it has written the registry files.
session_stop_server() {
    env "${session_server_env[@]}" timeout 30 "$session_wineserver" -k >/dev/null 2>&1
    env "${session_server_env[@]}" timeout 30 "$session_wineserver" -w >/dev/null 2>&1
    return 0
}

# Starts a persistent wineserver and lets its first process do the boot work, so that later starts are quick.
# (A fresh server is a boot: it carries out whatever was registered for deletion at the restart.)
session_start_server() {
    env "${session_server_env[@]}" "$session_wineserver" -p >"$session_dir/wineserver.log" 2>&1 ||
        { session_say "wineserver did not start"; return 1; }
    session_wine "$session_dir/boot.log" 120 cmd /c exit 0 ||
        { cat "$session_dir/boot.log" >&2; session_say "Wine does not start ($session_runner)"; return 1; }
}

# Makes a new prefix. With "unmanaged" the windows are left to Wine (no window manager on our own Xvfb: Wine
# would wait for one each time a box is shown).
session_make_prefix() {
    session_wine "$session_dir/wineboot.log" 240 wineboot -i ||
        { cat "$session_dir/wineboot.log" >&2; session_say "making the Wine prefix failed"; return 1; }
    session_stop_server
    session_start_server || return 1
    if [ "${1:-}" = unmanaged ]; then
        session_wine "$session_dir/setup.log" 60 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f ||
            { cat "$session_dir/setup.log" >&2; session_say "could not set up the prefix"; return 1; }
    fi
}

# Starts a program in the background in the prefix (its output to the file $1) and remembers its id for cleanup.
session_background() {
    local out="$1"
    shift
    "$session_runner" "$@" >"$out" 2>&1 &
    session_background_pids+=("$!")
}

# Waits up to $2 seconds for the file $1 to exist.
session_wait_for_file() {
    local tenths=$(($2 * 10)) _
    for _ in $(seq "$tenths"); do
        [ -e "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# The Windows path (drive Z:) of a Linux path.
session_windows_path() {
    printf 'Z:%s' "${1//\//\\}"
}
