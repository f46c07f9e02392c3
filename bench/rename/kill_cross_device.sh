#!/usr/bin/env bash
# Kills a rename batch that moves files to another file system at random
# moments, then puts the files back with `travoline-cli --recover`, and checks
# after every trial that each file is there exactly once, under its old name,
# with its content, and that no unfinished or second copy is left on either
# side. Every other trial the recovery itself is killed once at a random
# moment before a second recovery runs.
#
#   bench/rename/kill_cross_device.sh [TRIALS] [BUILD_DIR]     # default 60 trials, ./build
#
# The batch runs in build/bin/rename_crash_child (the real rename batch with
# its journal, never crashing on its own); files start on the disk under
# $TMPDIR (or /tmp) and go to /dev/shm. Exit status 0 when every trial ended
# with every file back and nothing left behind.
set -u

TRIALS=${1:-60}
BUILD=${2:-build}
BIN=$BUILD/bin
FILES=40
for exe in rename_crash_child travoline-cli; do
    [ -x "$BIN/$exe" ] || { echo "missing $BIN/$exe: build the project first" >&2; exit 2; }
done

DISK_ROOT=$(mktemp -d -p "${TMPDIR:-/tmp}" tavkill-disk-XXXXXX)
OTHER_ROOT=$(mktemp -d -p /dev/shm tavkill-shm-XXXXXX 2>/dev/null) || OTHER_ROOT=
CONFIG=$(mktemp -d -p "${TMPDIR:-/tmp}" tavkill-config-XXXXXX)
cleanup() { rm -rf "$DISK_ROOT" "$CONFIG"; [ -n "$OTHER_ROOT" ] && rm -rf "$OTHER_ROOT"; }
trap cleanup EXIT
if [ -z "$OTHER_ROOT" ] || [ "$(stat -c %d "$DISK_ROOT")" = "$(stat -c %d "$OTHER_ROOT")" ]; then
    echo "needs /dev/shm on another file system than ${TMPDIR:-/tmp}" >&2
    exit 2
fi
JOURNALS=$CONFIG/state/Travoline/journal
MASTER=$DISK_ROOT/master
SRC=$DISK_ROOT/work
DST=$OTHER_ROOT/work
mkdir -p "$MASTER" "$JOURNALS"

# 40 files of 64 KiB to 4 MiB (random contents), about 80 MiB in all.
for i in $(seq -w 1 $FILES); do
    head -c $(( (RANDOM % 64 + 1) * 65536 )) /dev/urandom > "$MASTER/photo_$i.jpg"
done
(cd "$MASTER" && sha256sum photo_* | sort) > "$DISK_ROOT/manifest"

ARGS=()
for i in $(seq -w 1 $FILES); do
    ARGS+=("$SRC/photo_$i.jpg" "$DST/IMG_$i.jpg")
done

fresh() {
    rm -rf "$SRC" "$DST" "$JOURNALS"
    mkdir -p "$JOURNALS" "$DST"
    cp -a "$MASTER" "$SRC"
}
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
sleep_ms() { sleep "$(awk "BEGIN { printf \"%.3f\", $1 / 1000 }")"; }
recover() { XDG_CONFIG_HOME=$CONFIG XDG_STATE_HOME=$CONFIG/state "$BIN/travoline-cli" --language English --recover; }

# The length of one whole batch (the shortest of three), to spread the kills over it.
BATCH_MS=
for _ in 1 2 3; do
    fresh
    t0=$(now_ms)
    "$BIN/rename_crash_child" "$JOURNALS" never 0 "${ARGS[@]}" > /dev/null 2>&1
    ms=$(( $(now_ms) - t0 ))
    [ "$(ls "$DST" | wc -l)" = "$FILES" ] || { echo "the unkilled batch did not move every file" >&2; exit 1; }
    if [ -z "$BATCH_MS" ] || [ "$ms" -lt "$BATCH_MS" ]; then BATCH_MS=$ms; fi
done
echo "files: $FILES ($(du -sh "$MASTER" | cut -f1)), $SRC -> $DST, one batch: $BATCH_MS ms, trials: $TRIALS"

failures=0 completed=0 partial=0 second=0 killedrecovery=0 removedtotal=0 exit_nonzero=0
for trial in $(seq 1 "$TRIALS"); do
    fresh
    delay=$(( RANDOM * (BATCH_MS + 20) / 32768 ))
    "$BIN/rename_crash_child" "$JOURNALS" never 0 "${ARGS[@]}" > /dev/null 2>&1 &
    pid=$!
    sleep_ms "$delay"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null

    # What the kill left: an unfinished copy, a complete second copy.
    state=""
    if ls -A "$DST" | grep -q '^\.tmp_Tvol_copy_'; then state="unfinished copy"; partial=$((partial + 1)); fi
    for f in $(ls "$DST" | grep '^IMG_'); do
        n=${f#IMG_}; n=${n%.jpg}
        if ls "$SRC" | grep -q "_photo_$n.jpg$"; then state="$state second copy"; second=$((second + 1)); break; fi
    done

    # A journal marked done: the batch had ended and only the journal's
    # removal was cut short. Recovery only removes it.
    done_mark=""
    for j in "$JOURNALS"/*.journal; do
        [ -e "$j" ] && [ "$(tail -c 4 "$j" | od -An -c | tr -d ' ')" = 'P\t2\n' ] && done_mark=yes
    done
    if [ -n "$done_mark" ]; then
        out=$(recover 2>&1); status=$?
        [ -z "$(ls -A "$JOURNALS")" ] || status=9
    fi
    if [ -z "$(ls -A "$JOURNALS")" ]; then
        # No journal: killed before the batch began, or after it ended. Put
        # the names back by hand for the checks below.
        [ -e "$DST/IMG_01.jpg" ] && completed=$((completed + 1))
        for i in $(seq -w 1 $FILES); do
            [ -e "$DST/IMG_$i.jpg" ] && mv -n "$DST/IMG_$i.jpg" "$SRC/photo_$i.jpg"
        done
        [ -n "$done_mark" ] || { out="(no journal)"; status=0; }
    else
        if [ $((trial % 2)) = 0 ]; then
            XDG_CONFIG_HOME=$CONFIG XDG_STATE_HOME=$CONFIG/state "$BIN/travoline-cli" --language English --recover > /dev/null 2>&1 &
            rpid=$!
            sleep_ms $(( RANDOM * (BATCH_MS + 20) / 32768 ))
            kill -KILL "$rpid" 2>/dev/null && killedrecovery=$((killedrecovery + 1))
            wait "$rpid" 2>/dev/null
        fi
        out=$(recover 2>&1); status=$?
        removed=$(printf '%s\n' "$out" | grep -c '^removed')
        removedtotal=$((removedtotal + removed))
    fi

    # Every file once, under its old name, with its content; nothing else anywhere.
    problem=""
    [ "$status" = 0 ] || { problem="recover exit $status;"; exit_nonzero=$((exit_nonzero + 1)); }
    got=$( (cd "$SRC" && sha256sum * 2>/dev/null | sort) )
    [ "$got" = "$(cat "$DISK_ROOT/manifest")" ] || problem="$problem files differ from the originals;"
    [ -z "$(ls -A "$DST")" ] || problem="$problem left on the other side: $(ls -A "$DST" | head -3 | tr '\n' ' ');"
    [ -z "$(ls -A "$JOURNALS")" ] || problem="$problem journal left;"
    [ "$(ls -A "$SRC" | wc -l)" = "$FILES" ] || problem="$problem $(ls -A "$SRC" | wc -l) names on disk;"
    if [ -n "$problem" ]; then
        failures=$((failures + 1))
        echo "trial $trial (kill at $delay ms${state:+, $state}): $problem"
        printf '  %s\n' "$out" | tail -3
    fi
done

echo "trials: $TRIALS, killed before the batch ended: $((TRIALS - completed)), batch had ended: $completed"
echo "kills that left an unfinished copy: $partial, a complete second copy: $second, recoveries killed too: $killedrecovery"
echo "copies removed by recovery: $removedtotal, recoveries with a non-zero exit: $exit_nonzero"
echo "trials with a lost, duplicated, misnamed or left-over file: $failures"
[ "$failures" = 0 ]
