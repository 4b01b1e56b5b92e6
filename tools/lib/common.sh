# Shared by the project's scripts: installs what is missing from Debian's archive, builds into
# build/, hands the test runs to an unprivileged user when started as root, prepares a Wine
# prefix of the project's own and runs a virtual X display.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build"
# The tests run as this user when a script is started as root: Wine run as root overwrites
# read-only files, so the installer's read-only cases would never show. Its prefixes, home and
# results live in build/cardsetup-tests; anyone else's runs keep theirs in build/ itself.
test_user=cardsetup-tests
runs="$build"
[ "$(id -un)" = "$test_user" ] && runs="$build/$test_user"

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-tools googletest wine wine64
          xvfb xauth locales default-jdk-headless inotify-tools wixl msitools faketime)

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

# Wine takes its ANSI code page from the locale: pl_PL gives 1250, as on a Polish Windows, and
# C.UTF-8 gives 1252, as on an English one. With "keep", a locale the caller set in LC_ALL stays.
ensure_polish_locale() {
    if ! locale -a 2>/dev/null | grep -qi '^pl_PL\.utf-\?8$'; then
        say "generating the pl_PL.UTF-8 locale"
        as_root sed -i 's/^# *pl_PL.UTF-8/pl_PL.UTF-8/' /etc/locale.gen
        as_root locale-gen >/dev/null
    fi
    [ "${1:-}" = keep ] && [ -n "${LC_ALL:-}" ] && return 0
    export LC_ALL=pl_PL.UTF-8
}

# Installs and builds once: a script started by another one that has done so skips it.
prepare_build() {
    [ -n "${CARDSETUP_BUILT:-}" ] && return 0
    ensure_packages
    ensure_polish_locale
    build_project
    export CARDSETUP_BUILT=1
}

build_project() {
    if [ ! -f "$build/build.ninja" ]; then
        say "configuring the build in build/"
        # CI builds with warnings as errors, the program and the tests alike.
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
            ${CI:+-DCMAKE_COMPILE_WARNING_AS_ERROR=ON} "$@" >/dev/null
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
    # Wine shows a Unix dot file as hidden, which Windows does not do to .java.policy: the
    # installer refuses to replace a hidden file, as Windows' CopyFile refuses it.
    if ! grep -q '"ShowDotFiles"="Y"' "$WINEPREFIX/user.reg" 2>/dev/null; then
        wine reg add 'HKCU\Software\Wine' /v ShowDotFiles /d Y /f </dev/null >/dev/null 2>&1
    fi
    # Start the prefix's services now, with no output attached: a service started by the first
    # test would inherit ctest's output pipe and keep ctest waiting after the test ended.
    wine cmd /c exit </dev/null >/dev/null 2>&1
}

# Usage: as_test_user "$0" "$@", after prepare_build. As root it runs the script again as the
# test user and exits with its status; as anyone else it returns and the script goes on.
as_test_user() {
    [ "$(id -u)" -eq 0 ] || return 0
    if ! id -u "$test_user" >/dev/null 2>&1; then
        say "creating the system user $test_user for the test runs"
        useradd --system --user-group --no-create-home --home-dir /nonexistent \
            --shell /usr/sbin/nologin "$test_user"
    fi
    # It writes only where it owns: its own directory and ctest's Testing directory. Prefixes
    # that root's tools (demo, bench) use stay root's, as Wine wants them.
    local dir
    for dir in "$build/$test_user" "$build/$test_user/home" "$build/Testing"; do
        mkdir -p "$dir"
        [ "$(stat -c %U "$dir")" = "$test_user" ] || chown -R "$test_user:$test_user" "$dir"
    done
    # One test plants a library beside the test programs. The group may add files to build/bin;
    # the sticky bit keeps it from removing or replacing root's.
    chgrp "$test_user" "$build/bin"
    chmod g+w,+t "$build/bin"
    say "running the tests as $test_user"
    # env -i leaves only what is named here. The ambient CAP_DAC_READ_SEARCH lets the user read
    # and search the tree and the build wherever the clone lies; writing still needs the
    # permission bits. access(), which ctest uses, drops capabilities for a user other than root
    # unless no_setuid_fixup is set; noroot keeps set-user-ID root programs from gaining any.
    local pass=() var
    for var in CARDSETUP_FAULTS CARDSETUP_BUILT CI CTEST_OUTPUT_ON_FAILURE CTEST_PARALLEL_LEVEL \
               GTEST_FILTER; do
        [ -n "${!var:-}" ] && pass+=("$var=${!var}")
    done
    exec setpriv --reuid="$test_user" --regid="$test_user" --clear-groups \
        --securebits=+noroot,+no_setuid_fixup \
        --inh-caps=+dac_read_search --ambient-caps=+dac_read_search \
        env -i HOME="$build/$test_user/home" PATH=/usr/local/bin:/usr/bin:/bin \
        LC_ALL=pl_PL.UTF-8 "${pass[@]}" "$@"
}

# Xvfb picks a free display number itself and writes it to a file, so that two scripts started
# at once cannot take the same one.
display_pid=""
start_display() {
    local number_file
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
    display_pid=$!
    for _ in $(seq 100); do
        if grep -qx '[0-9]\+' "$number_file"; then
            export DISPLAY=":$(cat "$number_file")"
            rm -f "$number_file"
            return 0
        fi
        sleep 0.1
    done
    rm -f "$number_file"
    echo "the virtual display did not start" >&2
    return 1
}

stop_display_and_wine() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
    [ -n "$display_pid" ] && kill "$display_pid" 2>/dev/null || true
    display_pid=""
}
