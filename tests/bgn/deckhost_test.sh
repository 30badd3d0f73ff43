#!/usr/bin/env bash
# Runs the built deckhost from outside, with the module stand-ins, a stand-in analysis program
# and stand-in tools, and checks what a launcher would see: exit codes, printed lines, the
# lock, the handshakes, the modules' start and end.
#
#   deckhost_test.sh <case> <staged tree> <work folder>
#
# Every external command deckhost runs comes from the work folder's tools/ (they only log their
# arguments), the framebuffer is a file, the lock file lies in the work folder. Device events come
# from named pipes in the tree, the mount table and the kernel's device attributes are files
# there, and the update pipe and link lie there too.
set -u
ulimit -c 0
# The crash and hang cases end deckhost in the middle of its teardown, before it has joined its
# threads: that is what they check, not a leak.
export TSAN_OPTIONS="report_thread_leaks=0${TSAN_OPTIONS:+ $TSAN_OPTIONS}"

case_name=$1
stage=$2
work=$3

fail() {
    echo "FAIL ($case_name): $*" >&2
    exit 1
}

# deckhost only runs as root; run as anyone else these checks cannot be made.
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP ($case_name): needs root"
    exit 77
fi

rm -rf "$work"
mkdir -p "$work"

# A tree as on the unit: deckhost/bin/deckhost, deckhost/resources/..., trackscan/mx35r/trackscan.
make_tree() {
    local tree=$1
    mkdir -p "$tree/trackscan/mx35r" "$tree/tools"
    cp -r "$stage/deckhost" "$tree/"
    write_trackscan "$tree" '3010500\n' '2\n'
    local real_dd
    real_dd=$(command -v dd)
    printf '#!/bin/sh\necho "dd $*" >> "%s/tools.log"\nexec "%s" "$@" 2>/dev/null\n' "$tree" "$real_dd" \
        > "$tree/tools/dd"
    for tool in killall Xfbdev modprobe; do
        printf '#!/bin/sh\necho "$(basename "$0") $*" >> "%s/tools.log"\n' "$tree" > "$tree/tools/$tool"
    done
    # The drive-id generator is the real one; the players' file-system tool and the unmount
    # command change the tree's mount table as the real ones change the kernel's.
    printf '#!/bin/sh\necho "uuidgen $*" >> "%s/tools.log"\nexec "%s" "$@"\n' "$tree" "$(command -v uuidgen)" \
        > "$tree/tools/uuidgen"
    printf '#!/bin/sh\necho "ifuse $*" >> "%s/tools.log"\necho "ifuse $1 fuse.ifuse rw,nosuid,nodev 0 0" >> "%s/mounts"\n' \
        "$tree" "$tree" > "$tree/tools/ifuse"
    printf '#!/bin/sh\necho "umount $*" >> "%s/tools.log"\ngrep -v -F " $1 " "%s/mounts" > "%s/mounts.new"\nmv "%s/mounts.new" "%s/mounts"\n' \
        "$tree" "$tree" "$tree" "$tree" "$tree" > "$tree/tools/umount"
    chmod +x "$tree/tools/"*
    mkfifo "$tree/udev-events" "$tree/usbmux-events"
    : > "$tree/mounts"
    mkdir -p "$tree/sys/block" "$tree/mnt"
}

# host_env <tree>: sets hostenv to the variables that put deckhost on the tree's stand-ins.
host_env() {
    local tree=$1
    hostenv=(DECKHOST_TOOL_DIR="$tree/tools" DECKHOST_FB_DEVICE="$tree/fb0" DECKHOST_LOCK_FILE="$work/quilo.lock"
        DECKHOST_UDEV_EVENTS="$tree/udev-events" DECKHOST_USBMUX_EVENTS="$tree/usbmux-events"
        DECKHOST_MOUNTS="$tree/mounts" DECKHOST_SYSFS_ROOT="$tree/sys" DECKHOST_PLAYER_MOUNTS="$tree/mnt/ipod"
        DECKHOST_UPDATE_FIFO="$tree/update-notify" DECKHOST_UPDATE_LINK="$tree/requested-fwupdate")
}

# The stand-in analysis program: printf formats of its answers to --version and --supports-hash.
write_trackscan() {
    local tree=$1 version=$2 hash=$3
    printf '#!/bin/sh\ncase "$1" in\n--version) printf '"'%s'"';;\n--supports-hash) printf '"'%s'"';;\nesac\n' \
        "$version" "$hash" > "$tree/trackscan/mx35r/trackscan"
    chmod +x "$tree/trackscan/mx35r/trackscan"
}

# run <tree> <name> [VAR=value...] [-- deckhost options...]: runs deckhost in the foreground;
# its output lands in <tree>/<name>.out and .err, the stand-ins' log in <tree>/<name>.log; sets rc.
run() {
    local tree=$1 name=$2
    shift 2
    local vars=() args=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do vars+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    args=("$@")
    host_env "$tree"
    env "${hostenv[@]}" DECKHOST_STANDIN_LOG="$tree/$name.log" "${vars[@]}" \
        timeout -s KILL 60 "$tree/deckhost/bin/deckhost" "${args[@]}" > "$tree/$name.out" 2> "$tree/$name.err"
    rc=$?
}

# start: as run, in the background; sets pid.
start() {
    local tree=$1 name=$2
    shift 2
    local vars=() args=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do vars+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    args=("$@")
    host_env "$tree"
    env "${hostenv[@]}" DECKHOST_STANDIN_LOG="$tree/$name.log" "${vars[@]}" \
        "$tree/deckhost/bin/deckhost" "${args[@]}" > "$tree/$name.out" 2> "$tree/$name.err" &
    pid=$!
}

# wait_for <file> <fixed text> <seconds>: true once the file has a line with the text.
wait_for() {
    local file=$1 text=$2 tries=$(($3 * 20))
    while [ $tries -gt 0 ]; do
        grep -qF -- "$text" "$file" 2> /dev/null && return 0
        sleep 0.05
        tries=$((tries - 1))
    done
    return 1
}

# wait_started <log>: true once every module has announced itself.
wait_started() {
    for module in db snd ply lcd dek bak; do
        wait_for "$1" "$module ready" 30 || return 1
    done
}

has_line() { grep -qxF -- "$2" "$1"; }
has_text() { grep -qF -- "$2" "$1"; }

expect_rc() {
    [ "$rc" -eq "$1" ] || fail "$2: exit code $rc, expected $1; output: $(cat "$3.out" "$3.err")"
}

now() { date +%s%N; }

case_nonroot() {
    # An unprivileged user must be able to reach the program.
    local tree
    tree=$(mktemp -d /tmp/deckhost-test.XXXXXX)
    trap 'rm -rf "$tree"' EXIT
    make_tree "$tree"
    chmod -R a+rX "$tree"
    env DECKHOST_LOCK_FILE="$tree/quilo.lock" setpriv --reuid=65534 --regid=65534 --clear-groups -- \
        "$tree/deckhost/bin/deckhost" -v > "$tree/out" 2> "$tree/err"
    rc=$?
    [ "$rc" -eq 0 ] || fail "exit code $rc"
    [ -s "$tree/out" ] && fail "printed: $(cat "$tree/out")"
    [ -s "$tree/err" ] && fail "printed on standard error: $(cat "$tree/err")"
    [ -e "$tree/quilo.lock" ] && fail "the lock file was made"
    return 0
}

case_usage() {
    local tree=$work/tree usage
    make_tree "$tree"
    usage=$(printf '  -m\tenable message tracing (NOT AVAILABLE IN THIS BUILD)\n  -q\tprint all database queries\n  -v\tverbose message output\n  -s\tswap hp and main outputs')
    local ignored="Argument '-m' ignored because message tracing is not available in this build."
    for opts in "-?" "-x" "-m -?"; do
        # shellcheck disable=SC2086
        run "$tree" usage -- $opts
        expect_rc 0 "deckhost $opts" "$tree/usage"
        local expected=$usage
        [ "$opts" = "-m -?" ] && expected=$ignored$'\n'$usage
        [ "$(cat "$tree/usage.out")" = "$expected" ] || fail "deckhost $opts printed: $(cat "$tree/usage.out")"
        [ -s "$tree/usage.log" ] && fail "deckhost $opts started modules"
    done
    return 0
}

case_handshake() {
    local tree=$work/tree
    make_tree "$tree"
    local compatible="deckhost/trackscan have compatible versions of songanalysis (03010500)"
    local warning="Warning: failed to compare deckhost/trackscan versions"
    local no_hash="trackscan --supports-hash did not work as expected."
    # version answer | hash answer | exit code | line printed
    while IFS='|' read -r version hash code line; do
        write_trackscan "$tree" "$version" "$hash"
        run "$tree" hs DECKHOST_STANDIN_LCD_SHUTDOWN_ID=0
        expect_rc "$code" "versions '$version' '$hash'" "$tree/hs"
        has_line "$tree/hs.out" "$line" || fail "versions '$version' '$hash': no line '$line' in $(cat "$tree/hs.out")"
        if [ "$code" -eq 0 ]; then
            has_line "$tree/hs.log" "bak_init" || fail "versions '$version' '$hash': the start-up did not go on"
        else
            [ -s "$tree/hs.log" ] && fail "versions '$version' '$hash': modules started"
        fi
        rm -f "$tree/hs.log"
    done << EOF
3010500\n|2\n|0|$compatible
0x03010500\n|2 md5\n|0|$compatible
3010400\n|2\n|134|deckhost/trackscan do NOT have compatible versions of songanalysis (03010500, 03010400)
|2\n|0|$warning
3010500\n|1\n|134|$no_hash
3010500\n||134|Your trackscan needs to be updated and recompiled.
EOF
    # No analysis program at all: the version cannot be read, and the hash question ends it.
    rm "$tree/trackscan/mx35r/trackscan"
    run "$tree" missing
    expect_rc 134 "no analysis program" "$tree/missing"
    has_line "$tree/missing.out" "$warning" || fail "no analysis program: no warning"
    has_line "$tree/missing.out" "$no_hash" || fail "no analysis program: no hash line"
    return 0
}

case_exit_codes() {
    local tree=$work/tree
    make_tree "$tree"
    # shutdown id | MIDI channel | exit code
    while read -r id channel code; do
        run "$tree" exit DECKHOST_STANDIN_LCD_SHUTDOWN_ID="$id" DECKHOST_STANDIN_LCD_MIDI_CHANNEL="$channel"
        expect_rc "$code" "shutdown id $id, channel $channel" "$tree/exit"
        has_line "$tree/exit.out" "BGN: Sending Shutdown message." || fail "id $id: no shutdown line"
        has_text "$tree/exit.out" "ForceShutdownCmd" && fail "id $id: the forced shutdown fired"
        rm -f "$tree/exit.log"
    done << EOF
0 0 0
1 5 21
1 37 21
2 0 64
3 0 68
4 0 69
7 0 99
EOF
    return 0
}

case_init_failures() {
    local tree=$work/tree
    make_tree "$tree"
    # module | printed line | a call that must not have been made
    while IFS='|' read -r module text absent; do
        run "$tree" fail "DECKHOST_STANDIN_${module}_FAIL_INIT=1" DECKHOST_STANDIN_LCD_SHUTDOWN_ID=0
        expect_rc 99 "$module failing" "$tree/fail"
        has_line "$tree/fail.out" "$text" || fail "$module failing: no line '$text'"
        has_text "$tree/fail.out" "ForceShutdownCmd" && fail "$module failing: the running modules did not end"
        has_line "$tree/fail.log" "$absent" && fail "$module failing: $absent was called"
        if [ "$module" != DB ]; then
            # What runs ends before it is torn down.
            [ "$(grep -n -xF 'db death' "$tree/fail.log" | cut -d: -f1)" -lt \
                "$(grep -n -xF 'db_destroy' "$tree/fail.log" | cut -d: -f1)" ] ||
                fail "$module failing: the library was torn down before it ended"
        fi
        rm -f "$tree/fail.log"
    done << EOF
DB|DB Init failed, exiting.|lcd_init
LCD|LCD Init failed, exiting.|snd_init
SND|SND Init failed, exiting.|snd_destroy
BAK|BAK Init failed, exiting.|no_such_call
EOF
    return 0
}

case_forced_shutdown() {
    local tree=$work/tree
    make_tree "$tree"
    local begin end
    begin=$(now)
    run "$tree" forced DECKHOST_STANDIN_SND_NEVER_DIE=1 DECKHOST_STANDIN_LCD_SHUTDOWN_ID=0
    end=$(now)
    expect_rc 0 "a module that never dies" "$tree/forced"
    has_line "$tree/forced.out" "BGN: ForceShutdownCmd received.  (ready = 0x5)" ||
        fail "no forced shutdown line: $(cat "$tree/forced.out")"
    has_line "$tree/forced.log" "snd death" && fail "the stand-in reported its end"
    # The forced shutdown comes 10 s after the request.
    [ $(((end - begin) / 1000000)) -ge 9500 ] || fail "ended after $(((end - begin) / 1000000)) ms"
    return 0
}

case_segfault() {
    local tree=$work/tree
    make_tree "$tree"
    for pair in "2 64" "0 0"; do
        set -- $pair
        run "$tree" segv DECKHOST_STANDIN_SND_CRASH_DESTROY=1 DECKHOST_STANDIN_LCD_SHUTDOWN_ID="$1"
        expect_rc "$2" "a crash in the teardown with id $1" "$tree/segv"
        has_line "$tree/segv.err" "Segmentation fault during shutdown" || fail "no crash line: $(cat "$tree/segv.err")"
        rm -f "$tree/segv.log"
    done
    return 0
}

case_watchdog() {
    local tree=$work/tree
    make_tree "$tree"
    run "$tree" hang DECKHOST_STANDIN_SND_HANG_DESTROY=1 DECKHOST_STANDIN_LCD_SHUTDOWN_ID=3
    expect_rc 68 "a hung teardown" "$tree/hang"
    has_line "$tree/hang.out" "BGN: Teardown did not finish within 10000 ms; exiting with 68." ||
        fail "no watchdog line: $(cat "$tree/hang.out")"
    return 0
}

case_early_shutdown() {
    local tree=$work/tree
    make_tree "$tree"
    # The library asks for the update while the start-up still waits for it: the modules started
    # later end too, without the forced shutdown.
    run "$tree" early DECKHOST_STANDIN_DB_SHUTDOWN_ID=2 DECKHOST_STANDIN_DB_SHUTDOWN_EARLY=1
    expect_rc 64 "a shutdown during the start-up" "$tree/early"
    has_text "$tree/early.out" "ForceShutdownCmd" && fail "the forced shutdown fired: $(cat "$tree/early.out")"
    for module in db snd ply lcd dek bak; do
        has_line "$tree/early.log" "$module death" || fail "$module did not end"
    done
    has_line "$tree/early.log" "bak_init" || fail "the start-up did not finish"
    return 0
}

case_sigquit() {
    local tree=$work/tree
    make_tree "$tree"
    start "$tree" quit
    wait_started "$tree/quit.log" || fail "did not start: $(cat "$tree/quit.out" "$tree/quit.err")"
    kill -QUIT "$pid"
    wait "$pid"
    rc=$?
    expect_rc 0 "SIGQUIT" "$tree/quit"
    has_text "$tree/quit.out" "ForceShutdownCmd" && fail "the forced shutdown fired"
    for module in db snd ply lcd dek bak; do
        has_line "$tree/quit.log" "$module death" || fail "$module did not end"
    done
    return 0
}

case_second_instance() {
    local first=$work/first second=$work/second first_pid
    make_tree "$first"
    make_tree "$second"
    start "$first" run
    first_pid=$pid
    wait_started "$first/run.log" || fail "the first did not start"
    start "$second" run
    wait_for "$second/run.out" "Another instance is running.  Waiting for it to finish." 5 ||
        fail "the second did not wait: $(cat "$second/run.out")"
    has_line "$second/run.out" "Press Ctrl+C to abort." || fail "no abort hint"
    has_line "$second/run.out" "Quilo4" && fail "the second started beside the first"
    [ -s "$second/run.log" ] && fail "the second started modules beside the first"

    kill -QUIT "$first_pid"
    wait "$first_pid"
    rc=$?
    expect_rc 0 "the first instance" "$first/run"
    # The second tries again every 10 s.
    wait_for "$second/run.log" "bak ready" 25 && wait_started "$second/run.log" || fail "the second did not start after the first: $(cat "$second/run.out")"
    kill -QUIT "$pid"
    wait "$pid"
    rc=$?
    expect_rc 0 "the second instance" "$second/run"
    return 0
}

case_start_order() {
    local tree=$work/tree
    make_tree "$tree"
    # The delays make a start-up that does not wait for the ready bits show in the order.
    # The shutdown request waits long enough for the hot-plug listener to report, even on a
    # loaded machine.
    run "$tree" order DECKHOST_STANDIN_DB_ANNOUNCE_DELAY_MS=300 DECKHOST_STANDIN_LCD_ANNOUNCE_DELAY_MS=300 \
        DECKHOST_STANDIN_LCD_SHUTDOWN_ID=0 DECKHOST_STANDIN_LCD_SHUTDOWN_DELAY_MS=2000 -- -v -m
    expect_rc 0 "start-up" "$tree/order"
    local expected calls
    expected=$(printf '%s\n' db_init "db ready" lcd_init snd_init ply_init "lcd ready" db_demo_content_init \
        dek_init bak_init snd_destroy db_destroy)
    calls=$(grep -E '_|^(db|lcd) ready$' "$tree/order.log")
    [ "$calls" = "$expected" ] || fail "order of the start-up and teardown: $(cat "$tree/order.log")"
    # The hot-plug listener ran once the interface had announced itself, and the update watcher
    # once the interface was ready for pop-ups; both ended before the library was torn down.
    local loaded
    loaded=$(grep -n -xF 'db all devices loaded' "$tree/order.log" | cut -d: -f1)
    [ -n "$loaded" ] || fail "the hot-plug listener did not report: $(cat "$tree/order.log")"
    [ "$(grep -n -xF 'lcd ready' "$tree/order.log" | cut -d: -f1)" -lt "$loaded" ] ||
        fail "the hot-plug listener did not wait for the interface"
    [ "$loaded" -lt "$(grep -n -xF snd_destroy "$tree/order.log" | cut -d: -f1)" ] ||
        fail "the hot-plug listener reported during the teardown"
    has_line "$tree/order.out" "UDEV: No devices attached, sending mAllDevicesLoaded" || fail "no verbose listener line"
    [ -p "$tree/update-notify" ] || fail "the update watcher did not make its pipe"
    # Every module ends before the teardown starts.
    [ "$(grep -n ' death$' "$tree/order.log" | wc -l)" -eq 6 ] || fail "not every module ended"
    [ "$(grep -n ' death$' "$tree/order.log" | tail -1 | cut -d: -f1)" -lt \
        "$(grep -n -xF snd_destroy "$tree/order.log" | cut -d: -f1)" ] || fail "torn down before the modules ended"
    for line in "Argument '-m' ignored because message tracing is not available in this build." "Quilo4" \
        "DB: initializing" "LCD: Thread Created." "BAK: initalizing BAK Module" "Dispatcher initialized"; do
        has_line "$tree/order.out" "$line" || fail "no line '$line'"
    done
    has_text "$tree/order.out" "IO Priority set to BE-2, " || fail "no I/O priority line"
    has_text "$tree/order.out" "Sqlite library version: " || fail "no exit diagnostics"

    # The start-up picture reaches the framebuffer.
    local picture=$tree/deckhost/bin/../resources/GrayRed480x272/gtk-2.0/quilofour_startup_screen.rgb565
    has_line "$tree/tools.log" "dd if=$picture of=$tree/fb0 bs=960 count=272" ||
        fail "dd was not run as expected: $(cat "$tree/tools.log")"
    local tries=100
    while ! cmp -s "$picture" "$tree/fb0" && [ $tries -gt 0 ]; do sleep 0.05; tries=$((tries - 1)); done
    cmp -s "$picture" "$tree/fb0" || fail "the framebuffer does not hold the start-up picture"
    [ "$(stat -c %s "$tree/fb0")" -eq $((960 * 272)) ] || fail "the picture is not 960 x 272 bytes"
    return 0
}

case_xserver_restart() {
    local tree=$work/tree
    make_tree "$tree"
    # The display opens only after the interface's 4 s watchdog has fired.
    run "$tree" x DECKHOST_STANDIN_LCD_OPEN_DELAY_MS=4500 DECKHOST_STANDIN_LCD_SHUTDOWN_ID=0
    expect_rc 0 "display watchdog" "$tree/x"
    grep -qE '^BGN: Xfbdev killed and restarted\. \([1-9][0-9]*\)$' "$tree/x.out" ||
        fail "no restart line: $(cat "$tree/x.out")"
    [ "$(cat "$tree/tools.log" | grep -v '^dd ')" = "$(printf 'killall Xfbdev\nXfbdev -keybd keyboard -screen 480x272x16')" ] ||
        fail "the X server was not restarted as expected: $(cat "$tree/tools.log")"
    return 0
}

# quit <tree> <name>: ends the background deckhost with SIGQUIT and expects exit code 0.
quit() {
    kill -QUIT "$pid"
    wait "$pid"
    rc=$?
    expect_rc 0 "SIGQUIT" "$1/$2"
}

# sysfs_disk <tree> <disk>: the attribute files of a disk that the I/O scheduler tuning writes.
sysfs_disk() {
    local queue=$1/sys/block/$2/queue
    mkdir -p "$queue/iosched"
    touch "$queue/scheduler" "$queue/iosched/"{quantum,back_seek_max,back_seek_penalty,fifo_expire_sync,slice_sync}
}

case_hotplug() {
    local tree=$work/tree log
    make_tree "$tree"
    log=$tree/hp.log
    local music=$tree/media/music backup=$tree/media/backup
    local long_uuid=0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9
    mkdir -p "$music" "$backup"
    sysfs_disk "$tree" sdz
    start "$tree" hp
    # No drive at start.
    wait_for "$log" "db all devices loaded" 30 || fail "no mAllDevicesLoaded: $(cat "$tree/hp.out" "$tree/hp.err")"

    # A FAT drive (its volume serial is too short to tell drives apart), mounted read-only.
    echo "/dev/sdz1 $music vfat ro,noatime 0 0" >> "$tree/mounts"
    echo "add /dev/sdz1 ID_FS_UUID=1234-ABCD ID_FS_LABEL=MUSIC idVendor=0781 idProduct=5567" > "$tree/udev-events"
    wait_for "$log" "db block added kernel=/dev/sdz1" 10 || fail "the drive was not reported: $(cat "$tree/hp.out")"
    local id
    id=$(cat "$music/Quilo4_Database/uuid.txt")
    [[ "$id" =~ ^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$ ]] || fail "drive id '$id'"
    has_line "$log" "db block added kernel=/dev/sdz1 mountpoint=$music friendly=MUSIC uuid=$id readonly=1" ||
        fail "the drive was reported as: $(grep 'block added' "$log")"
    has_line "$tree/hp.out" "Hash /dev/sdz1 = {'mountpoint' : '$music', 'kernel' : '/dev/sdz1', 'friendly' : 'MUSIC', 'uuid' : '$id'}" ||
        fail "no table line"
    for pair in scheduler=cfq iosched/quantum=8 iosched/back_seek_max=10000000 iosched/back_seek_penalty=1 \
        iosched/fifo_expire_sync=75 iosched/slice_sync=50; do
        [ "$(cat "$tree/sys/block/sdz/queue/${pair%%=*}")" = "${pair#*=}" ] || fail "I/O scheduler: ${pair%%=*}"
    done

    # Ignored: a change, a drive never reported going, a drive that is not mounted, a device
    # without a USB parent, a device without a node.
    {
        echo "change /dev/sdz1 ID_FS_UUID=1234-ABCD"
        echo "remove /dev/sdy1"
        echo "add /dev/sdx1 ID_FS_UUID=$long_uuid"
        echo "add /dev/sdv1 ID_FS_UUID=$long_uuid USB=0"
        echo "add - ID_FS_UUID=$long_uuid"
    } > "$tree/udev-events"
    # A writable drive with a long UUID and no label.
    echo "/dev/sdw1 $backup ext4 rw,relatime 0 0" >> "$tree/mounts"
    echo "add /dev/sdw1 ID_FS_UUID=$long_uuid" > "$tree/udev-events"
    wait_for "$log" "db block added kernel=/dev/sdw1" 10 || fail "the second drive was not reported"
    has_line "$log" "db block added kernel=/dev/sdw1 mountpoint=$backup friendly=Unknown Device uuid=$long_uuid readonly=0" ||
        fail "the second drive was reported as: $(grep 'sdw1' "$log")"
    [ -e "$backup/Quilo4_Database" ] && fail "a drive with a long UUID got an id file"
    has_line "$tree/hp.out" "No mnt entries match /dev/sdx1" || fail "no line for the drive that is not mounted"
    has_line "$tree/hp.out" "UDEV: Warning: device does not have a devnode" || fail "no line for the device without a node"

    echo "remove /dev/sdz1" > "$tree/udev-events"
    wait_for "$log" "db block removed" 10 || fail "the removal was not reported"
    has_line "$log" "db block removed kernel=/dev/sdz1 mountpoint=$music friendly=MUSIC uuid=$id readonly=1" ||
        fail "the removal was reported as: $(grep 'removed' "$log")"
    quit "$tree" hp
    [ "$(grep -c '^db block ' "$log")" -eq 3 ] || fail "reports: $(grep '^db block ' "$log")"
    [ "$(grep -c '^uuidgen' "$tree/tools.log")" -eq 1 ] || fail "uuidgen runs: $(cat "$tree/tools.log")"
    return 0
}

case_hotplug_present() {
    local tree=$work/tree log
    make_tree "$tree"
    log=$tree/pr.log
    local music=$tree/media/music
    mkdir -p "$music/Quilo4_Database"
    # The drive's id file is there already: its first line (at most 40 characters) is the id.
    printf '%s\n%s\n' "0123456789abcdef0123456789abcdef01234567-cut" "second line" > "$music/Quilo4_Database/uuid.txt"
    echo "/dev/sdz1 $music vfat rw,noatime 0 0" > "$tree/mounts"
    echo "/dev/sdz1 ID_FS_UUID=1234-ABCD ID_FS_LABEL=My\040Songs" > "$tree/devices"
    sysfs_disk "$tree" sdz
    start "$tree" pr DECKHOST_UDEV_DEVICES="$tree/devices"
    wait_for "$log" "db block added" 30 || fail "the drive present at start was not reported: $(cat "$tree/pr.out")"
    has_line "$log" "db block added kernel=/dev/sdz1 mountpoint=$music friendly=My Songs uuid=0123456789abcdef0123456789abcdef01234567 readonly=0" ||
        fail "reported as: $(grep 'block added' "$log")"
    quit "$tree" pr
    has_line "$log" "db all devices loaded" && fail "mAllDevicesLoaded sent with a drive present"
    grep -q '^uuidgen' "$tree/tools.log" && fail "uuidgen ran for a drive with an id file"
    return 0
}

case_hotplug_no_generator() {
    local tree=$work/tree log
    make_tree "$tree"
    rm "$tree/tools/uuidgen"
    log=$tree/ng.log
    local short=$tree/media/short none=$tree/media/none
    mkdir -p "$short" "$none"
    start "$tree" ng
    wait_for "$log" "db all devices loaded" 30 || fail "did not start: $(cat "$tree/ng.out" "$tree/ng.err")"
    printf '%s\n' "/dev/sdz1 $short vfat rw 0 0" "/dev/sdy1 $none vfat rw 0 0" >> "$tree/mounts"
    # No generator: the drive keeps its short UUID; a drive without any UUID is not reported.
    printf '%s\n' "add /dev/sdy1" "add /dev/sdz1 ID_FS_UUID=1234-ABCD" > "$tree/udev-events"
    wait_for "$log" "db block added" 10 || fail "the drive was not reported: $(cat "$tree/ng.out")"
    has_line "$log" "db block added kernel=/dev/sdz1 mountpoint=$short friendly=Unknown Device uuid=1234-ABCD readonly=0" ||
        fail "reported as: $(grep 'block added' "$log")"
    has_line "$tree/ng.out" "UDEV: Error: /dev/sdy1 has no id; not reported" || fail "no line for the drive without id"
    has_line "$tree/ng.out" "UDEV: Error: $tree/tools/uuidgen gave no id for $short/Quilo4_Database/uuid.txt" ||
        fail "no line for the missing generator: $(cat "$tree/ng.out")"
    quit "$tree" ng
    [ "$(grep -c '^db block added' "$log")" -eq 1 ] || fail "reports: $(grep '^db block' "$log")"
    [ -e "$short/Quilo4_Database/uuid.txt" ] && fail "an empty id file was left"
    return 0
}

case_players() {
    local tree=$work/tree log
    make_tree "$tree"
    log=$tree/pl.log
    local first=0123456789abcdef0123456789abcdef01234567 second=fedcba9876543210fedcba9876543210fedcba98
    # The first mount point is taken by a folder of someone else.
    mkdir "$tree/mnt/ipod1"
    echo "1 1290 $first" > "$tree/players"
    start "$tree" pl DECKHOST_USBMUX_DEVICES="$tree/players"
    wait_for "$log" "db block added" 30 || fail "the player present at start was not reported: $(cat "$tree/pl.out")"
    has_line "$log" "db block added kernel=$tree/mnt/ipod2 mountpoint=$tree/mnt/ipod2 friendly=iPhone #2 uuid=$first readonly=0" ||
        fail "reported as: $(grep 'block added' "$log")"
    has_line "$tree/pl.out" "UDEV: Usbmuxd: 1 devices detected." || fail "no count line"
    grep -qE "^UDEV: Found $tree/mnt/ipod2 in mount table\. \([0-9]+\)$" "$tree/pl.out" || fail "no mount line"

    {
        echo "add 5 1292 $second"
        echo "add 6 1292 $second"
        echo "3 5 1292 $second"
    } > "$tree/usbmux-events"
    wait_for "$log" "db block added kernel=$tree/mnt/ipod3" 10 || fail "the second player was not reported"
    has_line "$log" "db block added kernel=$tree/mnt/ipod3 mountpoint=$tree/mnt/ipod3 friendly=iPhone 3G #3 uuid=$second readonly=0" ||
        fail "reported as: $(grep 'ipod3' "$log")"
    wait_for "$tree/pl.out" "UDEV: Usbmuxd: unknown event" 10 || fail "no line for the unknown event"
    has_line "$tree/pl.out" "UDEV: Usbmuxd: Device with uuid=$second already in table." || fail "the same player twice"

    echo "remove 5 1292 $second" > "$tree/usbmux-events"
    wait_for "$log" "db block removed" 10 || fail "the removal was not reported"
    has_line "$log" "db block removed kernel=$tree/mnt/ipod3 mountpoint=$tree/mnt/ipod3 friendly=iPhone 3G #3 uuid=$second readonly=1" ||
        fail "removal reported as: $(grep 'removed' "$log")"
    grep -qE "^UDEV: $tree/mnt/ipod3 no longer in mount table\. \([0-9]+\)$" "$tree/pl.out" || fail "no unmount line"
    [ -e "$tree/mnt/ipod3" ] && fail "the mount point was left"
    echo "remove 7 1292 0000" > "$tree/usbmux-events"
    wait_for "$tree/pl.out" "UDEV: Usbmuxd: error, can't find device matching UUID=0000" 10 || fail "an unknown player went"
    quit "$tree" pl
    local expected
    expected=$(printf '%s\n' "modprobe fuse" "ifuse $tree/mnt/ipod2 -o nonempty -u $first" \
        "ifuse $tree/mnt/ipod3 -o nonempty -u $second" "umount $tree/mnt/ipod3")
    [ "$(grep -v '^dd ' "$tree/tools.log")" = "$expected" ] || fail "tools run: $(cat "$tree/tools.log")"
    [ "$(grep -c '^db block ' "$log")" -eq 3 ] || fail "reports: $(grep '^db block ' "$log")"
    return 0
}

# wait_fifo <path>: true once the update watcher has made its pipe.
wait_fifo() {
    local tries=600
    while [ ! -p "$1" ] && [ $tries -gt 0 ]; do sleep 0.05; tries=$((tries - 1)); done
    [ -p "$1" ]
}

case_update_accept() {
    local tree=$work/tree
    make_tree "$tree"
    local fw=$tree/usb/fw.bin
    mkdir -p "$tree/usb"
    : > "$fw"
    # A link left from an earlier run goes when the watcher starts.
    ln -s "$tree/old.bin" "$tree/requested-fwupdate"
    start "$tree" up DECKHOST_STANDIN_LCD_POPUP_ROW=0
    wait_fifo "$tree/update-notify" || fail "no update pipe: $(cat "$tree/up.out" "$tree/up.err")"
    printf 'update:%s\n' "$fw" > "$tree/update-notify"
    local tries=600
    while kill -0 "$pid" 2> /dev/null && [ $tries -gt 0 ]; do sleep 0.05; tries=$((tries - 1)); done
    wait "$pid"
    rc=$?
    expect_rc 64 "an accepted update" "$tree/up"
    [ "$(readlink "$tree/requested-fwupdate")" = "$fw" ] || fail "link: $(readlink "$tree/requested-fwupdate")"
    has_line "$tree/up.log" "lcd popup 47 fw.bin" || fail "no pop-up: $(cat "$tree/up.log")"
    has_line "$tree/up.out" "Update file: $fw" || fail "no update line"
    has_line "$tree/up.out" "BGN: Sending Shutdown message." || fail "no shutdown line"
    return 0
}

case_update_refuse() {
    local tree=$work/tree
    make_tree "$tree"
    start "$tree" no DECKHOST_STANDIN_LCD_POPUP_ROW=1
    wait_fifo "$tree/update-notify" || fail "no update pipe: $(cat "$tree/no.out" "$tree/no.err")"
    echo "no announcement here" > "$tree/update-notify"
    printf 'update:%s\n' /mnt/usb/fw.bin > "$tree/update-notify"
    wait_for "$tree/no.log" "lcd popup 47 fw.bin" 10 || fail "no pop-up: $(cat "$tree/no.log")"
    # Each writer closes its end; the watcher waits for the next one.
    printf 'update:%s\n' /mnt/usb/fw2.bin > "$tree/update-notify"
    wait_for "$tree/no.log" "lcd popup 47 fw2.bin" 10 || fail "no pop-up for the second writer"
    kill -0 "$pid" 2> /dev/null || fail "deckhost ended after a refusal"
    quit "$tree" no
    [ -e "$tree/requested-fwupdate" ] || [ -L "$tree/requested-fwupdate" ] && fail "a refused update left the link"
    [ "$(grep -c '^lcd popup' "$tree/no.log")" -eq 2 ] || fail "pop-ups: $(grep '^lcd popup' "$tree/no.log")"
    return 0
}

case_update_not_fifo() {
    local tree=$work/tree
    make_tree "$tree"
    # Something else than a pipe at the pipe's path: updates are not offered.
    echo "update:/mnt/usb/fw.bin" > "$tree/update-notify"
    start "$tree" nf DECKHOST_STANDIN_LCD_POPUP_ROW=0
    wait_for "$tree/nf.err" "Warning: failed to create $tree/update-notify.  Updates not available." 30 ||
        fail "no warning: $(cat "$tree/nf.out" "$tree/nf.err")"
    quit "$tree" nf
    grep -q '^lcd popup' "$tree/nf.log" && fail "a pop-up from a plain file"
    return 0
}

"case_$case_name"
