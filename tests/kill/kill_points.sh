#!/usr/bin/env bash
# Stops the real installer dead (SIGKILL to its Wine process, as a deployment tool's time limit,
# a logoff or a power cut stops it) at many points of an install and of an /uninstall: at each of
# a spread of the changes that inotify reports in the runtime's folders, over files large enough
# that a copy takes a while. After every kill the runtime's own policy exists whole, in place or
# as its backup, and nothing under the runtime's own names is partial; a re-run ends as a clean
# run would; and /uninstall, after the re-run or straight after the kill, leaves every file as it
# was before the install. At every other point the Wine server is ended before the killed run
# and again after it, so that the next run gets the killed run's process ID, as a new Wine server,
# or Windows after a power cut, can give it: a killed run's leftovers must still go.
# Usage: kill_points.sh <directory of the built programs> <media directory>
set -euo pipefail

bin=$1
media_source=$2
install_points=${CARDSETUP_KILL_POINTS:-30}
uninstall_points=12
work=${TMPDIR:-/tmp}/cardsetup-kill-$(id -u)
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
drive=$WINEPREFIX/drive_c
media=$drive/kill/media
jre=$drive/kill/jre
bridge=$drive/windows/system32/ocfpcsc1.dll
own_policy=$work/own.policy
failures=0
started=$(date +%s)

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

prepare_prefix() {
    mkdir -p "$work"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
    # Wine shows dot files as hidden; Windows does not.
    wine reg add 'HKCU\Software\Wine' /v ShowDotFiles /d Y /f >/dev/null 2>&1
    wine reg add 'HKLM\SOFTWARE\JavaSoft\Java Runtime Environment\1.8' /v JavaHome \
        /d 'C:\kill\jre' /f >/dev/null 2>&1
}

# The media with a policy and a library of 8 MB each, and a runtime with a policy of its own of
# the same size.
prepare_media() {
    rm -rf "$drive/kill"
    mkdir -p "$drive/kill"
    cp -r "$media_source" "$media"
    chmod -R u+w "$media"
    head -c 8M /dev/urandom >"$media/sun/java.policy"
    head -c 8M /dev/urandom >"$media/sun/ocf1.2.jar"
    head -c 8M /dev/urandom >"$own_policy"
}

# The PC before the install: the runtime with its own policy, no bridge in the system directory.
reset_pc() {
    rm -rf "$jre"
    rm -f "$bridge"
    mkdir -p "$jre/bin" "$jre/lib/ext" "$jre/lib/security"
    cp "$bin/java_double.exe" "$jre/bin/java.exe"
    cp "$own_policy" "$jre/lib/security/java.policy"
}

# Every file of the runtime with its hash (less the Java double's record of its calls), and
# whether the system directory holds a bridge.
snapshot() {
    (cd "$jre" && find . -type f ! -path ./bin/calls.txt -print0 | sort -z |
        xargs -0 sha1sum)
    [ -e "$bridge" ] && sha1sum <"$bridge" || echo "no bridge"
}

# Runs the installer from its media folder with the arguments; gives its exit code (8 bits).
run_installer() {
    local status=0
    (cd "$media" && exec wine cardsetup.exe "$@" </dev/null >/dev/null 2>&1) || status=$?
    echo "$status"
}

# Counts the changes in the runtime's folders during a run with the arguments.
count_changes() {
    local events=$work/events.txt
    inotifywait -m -r -q -e create,modify,moved_to,moved_from,delete --format '%e %w%f' \
        "$jre" >"$events" 2>/dev/null &
    local watcher=$!
    sleep 0.5
    run_installer "$@" >/dev/null
    sleep 0.5
    kill "$watcher" 2>/dev/null || true
    wait "$watcher" 2>/dev/null || true
    grep -vc 'bin/calls.txt' "$events" || true
}

# Ends the prefix's Wine server: the next program started is its first, and gets the process ID
# that the first program after an earlier new server had.
end_wine_server() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}

# Runs the installer with the arguments and kills it at the point-th change in the runtime's
# folders; a run that ends first is not killed. With "repeat" first, the killed run and the
# next one get the same process ID.
run_and_kill() {
    local repeat=no
    [ "$1" = repeat ] && { repeat=yes; shift; }
    local point=$1
    shift
    [ "$repeat" = yes ] && end_wine_server
    local fifo=$work/events.fifo
    rm -f "$fifo" "$work/watch.err"
    mkfifo "$fifo"
    inotifywait -m -r -e create,modify,moved_to,moved_from,delete --format '%e %w%f' \
        "$jre" >"$fifo" 2>"$work/watch.err" &
    local watcher=$!
    exec 3<"$fifo"
    for _ in $(seq 200); do
        grep -q 'Watches established' "$work/watch.err" && break
        sleep 0.02
    done
    (cd "$media" && exec wine cardsetup.exe "$@" </dev/null >/dev/null 2>&1) &
    local program=$! seen=0 line
    while kill -0 "$program" 2>/dev/null; do
        if read -r -t 0.2 line <&3; then
            [[ $line == *bin/calls.txt ]] && continue
            seen=$((seen + 1))
            if [ "$seen" -ge "$point" ]; then
                kill -9 "$program" 2>/dev/null || true
                break
            fi
        fi
    done
    wait "$program" 2>/dev/null || true
    kill "$watcher" 2>/dev/null || true
    wait "$watcher" 2>/dev/null || true
    exec 3<&-
    rm -f "$fifo"
    if [ "$repeat" = yes ]; then
        end_wine_server
        wineserver -p 2>/dev/null || true
    fi
    return 0
}

# Whether file holds exactly the bytes of one of the given files; "absent" allows no file.
is_one_of() {
    local file=$1 allowed
    shift
    for allowed in "$@"; do
        if [ "$allowed" = absent ]; then
            [ -e "$file" ] || return 0
        elif [ -f "$file" ] && cmp -s "$file" "$allowed"; then
            return 0
        fi
    done
    return 1
}

# Nothing under the runtime's own names is partial, and its own policy exists whole.
check_nothing_partial() {
    local where=$1 policy=$jre/lib/security/java.policy
    is_one_of "$policy" "$own_policy" "$media/sun/java.policy" ||
        fail "$where: the policy is neither the runtime's nor the installer's"
    is_one_of "$policy.ocf-bak" absent "$own_policy" || fail "$where: a partial backup"
    is_one_of "$policy" "$own_policy" || is_one_of "$policy.ocf-bak" "$own_policy" ||
        fail "$where: the runtime's own policy exists nowhere whole"
    is_one_of "$jre/lib/ext/ocf1.2.jar" absent "$media/sun/ocf1.2.jar" ||
        fail "$where: a partial ocf1.2.jar"
    is_one_of "$jre/lib/opencard.properties" absent "$media/sun/opencard.properties" ||
        fail "$where: a partial opencard.properties"
    is_one_of "$jre/lib/ext/ocfpcsc1.dll" absent "$media/sun/ocfpcsc1.dll" ||
        fail "$where: a partial bridge in the runtime"
    is_one_of "$bridge" absent "$media/sun/ocfpcsc1.dll" ||
        fail "$where: a partial bridge in the system directory"
}

check_installed() {
    local where=$1 policy=$jre/lib/security/java.policy
    is_one_of "$policy" "$media/sun/java.policy" || fail "$where: the policy is not in place"
    is_one_of "$policy.ocf-bak" "$own_policy" || fail "$where: the backup is not the runtime's policy"
    is_one_of "$jre/lib/ext/ocf1.2.jar" "$media/sun/ocf1.2.jar" || fail "$where: no ocf1.2.jar"
    is_one_of "$bridge" "$media/sun/ocfpcsc1.dll" || fail "$where: no bridge"
    [ -z "$(find "$jre" -name '~ocf*.tmp')" ] || fail "$where: a temporary file was left"
}

check_uninstalled() {
    local where=$1 before=$2 status
    status=$(run_installer /uninstall /quiet)
    [ "$status" = 0 ] || fail "$where: /uninstall ended $status"
    [ "$(snapshot)" = "$before" ] || fail "$where: /uninstall did not leave every file as before"
}

# An install killed at each of its changes, or a spread of them; after each, a re-run and an
# /uninstall, or an /uninstall alone.
kill_installs() {
    local changes point step done=0 before status
    reset_pc
    before=$(snapshot)
    changes=$(count_changes /quiet /components=java)
    # A copy moves a megabyte per write, so the 8 MB files make few changes each: an install
    # makes about 25, and then each is a kill point.
    [ "$changes" -ge 12 ] || fail "a whole install made only $changes changes"
    step=$(((changes + install_points - 1) / install_points))
    for ((point = 1; point <= changes; point += step)); do
        reset_pc
        run_and_kill $( [ $((done % 4)) -lt 2 ] && echo repeat) "$point" /quiet /components=java
        check_nothing_partial "install killed at change $point of $changes"
        # Every other kill is taken back at once, as an administrator may after a failed run.
        if [ $((done % 2)) -eq 1 ]; then
            check_uninstalled "install killed at change $point, then /uninstall" "$before"
            done=$((done + 1))
            continue
        fi
        status=$(run_installer /quiet /components=java)
        # 3010 reads 194 in 8 bits; 0 when the killed run had done everything already
        [ "$status" = 194 ] || [ "$status" = 0 ] ||
            fail "install killed at change $point: the re-run ended $status"
        check_installed "install killed at change $point, then run again"
        check_uninstalled "install killed at change $point" "$before"
        done=$((done + 1))
    done
    echo "install: killed at $done of its $changes changes"
    install_done=$done
}

# An /uninstall killed at each of its changes, or a spread of them; after each, an /uninstall
# run to its end.
kill_uninstalls() {
    local changes point step done=0 before
    reset_pc
    before=$(snapshot)
    run_installer /quiet /components=java >/dev/null
    changes=$(count_changes /uninstall /quiet)
    [ "$changes" -ge 3 ] || fail "a whole /uninstall made only $changes changes"
    step=$(((changes + uninstall_points - 1) / uninstall_points))
    for ((point = 1; point <= changes; point += step)); do
        reset_pc
        run_installer /quiet /components=java >/dev/null
        run_and_kill $( [ $((done % 2)) -eq 0 ] && echo repeat) "$point" /uninstall /quiet
        check_nothing_partial "/uninstall killed at change $point of $changes"
        check_uninstalled "/uninstall killed at change $point" "$before"
        done=$((done + 1))
    done
    echo "uninstall: killed at $done of its $changes changes"
    uninstall_done=$done
}

# The prefix and the media go with the test, pass or fail: nothing is left in the temporary folder.
trap 'wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; rm -rf "$work"' EXIT
prepare_prefix
prepare_media
wineserver -p 2>/dev/null || true
install_done=0
uninstall_done=0
kill_installs
kill_uninstalls
echo "kill points: $((install_done + uninstall_done)) in $(($(date +%s) - started)) s"
[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
echo "every kill left the PC whole"
