# Shared by the project's scripts: installs what is missing from Debian's archive, builds into
# build/, prepares a Wine prefix of the project's own and runs a virtual X display.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build"

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-tools googletest wine wine64
          xvfb xauth locales default-jdk-headless)

say() { printf '==> %s\n' "$*"; }

# Runs a command as root: directly when we are root (as in CI), else through sudo.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing ${missing[*]} (a first run takes a few minutes)"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Wine takes its ANSI code page from the locale: pl_PL gives 1250, the installer's texts.
ensure_polish_locale() {
    if ! locale -a 2>/dev/null | grep -qi '^pl_PL\.utf-\?8$'; then
        say "generating the pl_PL.UTF-8 locale"
        as_root sed -i 's/^# *pl_PL.UTF-8/pl_PL.UTF-8/' /etc/locale.gen
        as_root locale-gen >/dev/null
    fi
    export LC_ALL=pl_PL.UTF-8
}

build_project() {
    if [ ! -f "$build/build.ninja" ]; then
        say "configuring the build in build/"
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" "$@" >/dev/null
    fi
    say "building"
    if ! cmake --build "$build" -- -j2 >"$build/build.log" 2>&1; then
        tail -40 "$build/build.log" >&2
        return 1
    fi
    # The media's assembly says whether it used the vendor's files or stand-ins.
    [ -f "$build/media-origin.txt" ] && sed 's/^/    /' "$build/media-origin.txt"
    return 0
}

# Usage: use_wine_prefix DIR, with the display already started (Wine binds its desktop to it).
# Creates the prefix once; a running wineserver keeps later starts fast.
use_wine_prefix() {
    export WINEPREFIX="$1" WINEARCH=win64 WINEDEBUG=-all
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        say "creating the Wine prefix $WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
    wineserver -p
    # A program that crashes must end with its backtrace, not wait in winedbg's dialog for ever.
    if ! grep -q '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" 2>/dev/null; then
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
            </dev/null >/dev/null 2>&1
    fi
    # Start the prefix's services now, with no output attached: a service started by the first
    # test would inherit ctest's output pipe and keep ctest waiting after the test ended.
    wine cmd /c exit </dev/null >/dev/null 2>&1
}

display_pid=""
start_display() {
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    display_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
    echo "the virtual display :$n did not start" >&2
    return 1
}

stop_display_and_wine() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
    [ -n "$display_pid" ] && kill "$display_pid" 2>/dev/null || true
    display_pid=""
}
