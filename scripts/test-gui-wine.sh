#!/usr/bin/env bash
# tarnwick.exe as a user meets it, under Xvfb and wine, started in a folder named in Polish:
# the Poser root question (a message box wide enough for its whole caption, showing a root
# named in Polish, Greek and Japanese, saved as a screenshot) answered from the keyboard,
# the maximised main window titled "tarnwick" with its menu bar (saved as
# a screenshot in the build folder), the help command reached through its menu key, the
# right-click menu with its options, the library report through the Windows folder picker
# with its progress bar and its page (screenshots of each), the menus greyed and help still
# answering while the report goes (screenshots of the right-click menu and of the help), two
# extended repairs with "take a file found by name without asking" on (a screenshot of one
# under way, showing no box, and of the other's closing messages after its Cancel button), the
# undo of the stopped run (a screenshot of what it restored), the window not maximised with its
# hint wrapped, the file chooser proposing no name (its field read through the clipboard), and a third extended repair ended by the
# close box: the run stops before its next file, its log and closing messages say so, and the
# program ends with exit status 0. Before the program, the message boxes of the prompts' tests
# are measured on this display: every letter of their texts shows.
# Every wait for wine waits for wine: the prefix made (wineboot --init), then its server kept
# up and the prefix booted on this display (wineboot), however long a busy machine takes; only
# then do the waits for the program's windows begin, and each says what it waited for.
# Usage: scripts/test-gui-wine.sh TARNWICK_EXE BUILD_FOLDER
#        scripts/test-gui-wine.sh --prepare BUILD_FOLDER   (only makes the wine prefix)
# Exit status 77 (skipped, for CTest) only when Xvfb or wine cannot start on this machine.
set -uo pipefail

exe=$1
# wine takes only an absolute prefix.
build=$(cd "$2" && pwd) || exit 1
prefix=$build/wineprefix-gui
shot=$build/tarnwick-window.png
question_shot=$build/tarnwick-question.png
options_shot=$build/tarnwick-options-menu.png
picker_shot=$build/tarnwick-folder-picker.png
report_shot=$build/tarnwick-report.png
report_menu_shot=$build/tarnwick-report-menu.png
extended_shot=$build/tarnwick-extended-run.png
stopped_shot=$build/tarnwick-stopped-run.png
stopped_box_shot=$build/tarnwick-stopped-run-end.png
help_shot=$build/tarnwick-help-during-report.png
undo_shot=$build/tarnwick-undo.png
narrow_shot=$build/tarnwick-not-maximised.png
chooser_shot=$build/tarnwick-file-chooser.png
width=1024
height=768

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*"
    [ -n "${DISPLAY:-}" ] && import -window root "$build/tarnwick-window-failed.png" 2>/dev/null
    exit 1
}

for tool in Xvfb xdotool xclip import flock; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done
wine=$(command -v wine || command -v wine-stable) || skip "wine is not installed"
wineserver=$(command -v wineserver || command -v wineserver-stable) || skip "wineserver is not installed"

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=
app_pid=
server_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    # Ends the processes of this test's own prefix only, its server with them.
    [ -d "$prefix" ] && timeout 60 "$wineserver" -k 2>/dev/null
    [ -n "$server_pid" ] && wait "$server_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

# wait_for SECONDS COMMAND...: runs COMMAND until it succeeds, false when time runs out.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.3
    done
}
display_ready() { xdotool getdisplaygeometry >/dev/null 2>&1; }
window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
window_shown() { [ -n "$(window_named "$1")" ]; }
window_gone() { [ -z "$(window_named "$1")" ]; }
visible_windows() { xdotool search --onlyvisible --name '.*' 2>/dev/null | wc -l; }
more_windows_than() { [ "$(visible_windows)" -gt "$1" ]; }
as_many_windows_as() { [ "$(visible_windows)" -eq "$1" ]; }
program_ended() { ! kill -0 "$app_pid" 2>/dev/null; }
width_of() {  # width_of WINDOW
    local X Y WIDTH HEIGHT WINDOW SCREEN
    eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)" && echo "${WIDTH:-0}"
}
# How wide TEXT is in the title bar's font (wine's bold Tahoma at 8 points); 6 pixels a
# character when that font is not at hand.
caption_text_width() {
    local font=/usr/share/wine/fonts/tahomabd.ttf
    if [ -r "$font" ]; then
        convert -density 96 -pointsize 8 -font "$font" label:"$1" -format '%w' info: 2>/dev/null && return
    fi
    echo $((${#1} * 6))
}
maximised() {
    local X Y WIDTH HEIGHT WINDOW SCREEN
    eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)" || return 1
    [ "${X:-0}" -le 0 ] && [ "${Y:-0}" -le 0 ] && [ "${WIDTH:-0}" -ge "$width" ] && [ "${HEIGHT:-0}" -ge "$height" ]
}
key_to() {  # key_to WINDOW KEY
    xdotool windowfocus "$1" 2>/dev/null
    xdotool key --clearmodifiers "$2"
}

# The prefix, made once per build folder, by one maker at a time (the build makes it while it
# compiles). Wine then draws the window frames itself: with no window manager on the display,
# nobody else would maximise the window or draw its title. Making it takes as long as it takes:
# wine is ready when wineboot and the server it started have finished.
prepare_prefix() {
    [ -e "$prefix/.tarnwick-ready" ] && return
    mkdir -p "$(dirname "$prefix")"
    exec 8>"$prefix.lock"
    flock 8
    if [ ! -e "$prefix/.tarnwick-ready" ]; then
        echo "making the wine prefix $prefix: waiting for wineboot --init to finish"
        "$wine" wineboot --init >/dev/null 2>&1 || skip "wine cannot start: wineboot --init failed in $prefix"
        "$wineserver" -w
        "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 ||
            skip "wine cannot start: reg failed in $prefix"
        # The report's page goes to a browser that starts nothing on this machine.
        "$wine" reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d true /f >/dev/null 2>&1
        "$wineserver" -w
        touch "$prefix/.tarnwick-ready"
    fi
    exec 8>&-
}

# wine's session on this display: its server kept up for the whole test, and the prefix booted
# (wineboot without --init starts its services). Whatever the machine's load, the program's
# windows are waited for only once this has finished.
start_wine_session() {
    local since=$SECONDS
    "$wineserver" -p -f &
    server_pid=$!
    "$wine" wineboot >/dev/null 2>&1 || fail "wine is not ready: wineboot did not finish in $prefix"
    echo "wine ready on $DISPLAY after $((SECONDS - since)) s (server up, prefix booted)"
}
if [ "$exe" = --prepare ]; then
    trap - EXIT
    DISPLAY= prepare_prefix
    exit 0
fi

# A display of our own, on a number nobody uses.
for n in $(seq 90 199); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
done
Xvfb ":$n" -screen 0 "${width}x${height}x24" -nolisten tcp >"$build/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$n"
wait_for 20 display_ready || skip "Xvfb cannot start (see $build/xvfb.log)"

prepare_prefix
start_wine_session

# The message boxes of the prompts' tests, at 100 % and 150 %, on this display: every letter shows.
app_test=$build/app/app_test.exe
if [ -e "$app_test" ]; then
    "$wine" "$app_test" --gtest_filter=WindowsPrompts.MessageBoxesAndChoosers >"$build/boxes-on-screen.log" 2>&1 ||
        fail "the message boxes cut letters on the display: $(grep -A4 Failure "$build/boxes-on-screen.log" | head -n 8)"
    echo "message boxes on the display: every letter shows (WindowsPrompts.MessageBoxesAndChoosers)"
fi

# The stored Poser root, where the profile functions look for it: the Windows folder. Named in
# Polish, Greek and Japanese, in a UTF-16 file as the program saves such a name.
root='Poser Łódź Ελληνικά 日本語'
mkdir -p "$prefix/drive_c/$root" "$build/start Łódź"
printf '\xff\xfe' >"$prefix/drive_c/windows/poserdirname.ini"
printf '[poserinfo]\r\nposeraddr=C:\\%s\r\n' "$root" | iconv -f UTF-8 -t UTF-16LE >>"$prefix/drive_c/windows/poserdirname.ini"

# A library big enough for the report to take a while; Poser's preferences registering a
# second content folder.
if [ ! -e "$prefix/drive_c/library/.made" ]; then
    python3 - "$prefix/drive_c/library" <<'PY'
import os, sys
top = sys.argv[1]
# Many small files: the time goes into opening them, as in a real library.
filler = "".join("    weld %d %d\n" % (k, k + 1) for k in range(40))
for k in range(12000):
    folder = os.path.join(top, "Runtime", "Libraries", "Character", "set%03d" % (k // 100))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "figure%05d.cr2" % k), "w") as f:
        f.write("figureResFile :Runtime:Geometries:man%d.obj\n%s" % (k % 3, filler))
geometries = os.path.join(top, "Runtime", "Geometries")
os.makedirs(geometries, exist_ok=True)
for k in range(2):
    open(os.path.join(geometries, "man%d.obj" % k), "w").close()
open(os.path.join(top, ".made"), "w").close()
PY
fi
# For the extended repairs, a second content folder, made afresh each time: two folders of
# documents whose mesh has moved, each found by its name alone.
autolib=$prefix/drive_c/autolib
rm -rf "$autolib"
python3 - "$autolib" <<'PY'
import os, sys
top = sys.argv[1]
filler = "".join("    weld %d %d\n" % (k, k + 1) for k in range(40))
for part, count in (("a", 1500), ("b", 4000)):
    for k in range(count):
        folder = os.path.join(top, "Runtime", "Libraries", part, "set%03d" % (k // 100))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "fig%05d.cr2" % k), "w") as f:
            f.write("figureResFile :Runtime:Geometries:old:auto.obj\n%s" % filler)
os.makedirs(os.path.join(top, "Runtime", "Geometries"))
open(os.path.join(top, "Runtime", "Geometries", "auto.obj"), "w").close()
PY
appdata=$(ls -d "$prefix"/drive_c/users/*/AppData/Roaming 2>/dev/null | head -n 1)
[ -n "$appdata" ] && mkdir -p "$appdata/Poser Pro/11" &&
    printf '<LibraryPrefs><ContentFolder folder="C:\\library" /><ContentFolder folder="C:\\autolib" /></LibraryPrefs>\r\n' \
        >"$appdata/Poser Pro/11/LibraryPrefs.xml"
# Both options on, as the options menu saves them.
[ -n "$appdata" ] && mkdir -p "$appdata/tarnwick" &&
    printf '[options]\r\nextendedrepair=1\r\ntakefoundbyname=1\r\n' >"$appdata/tarnwick/poserdirname.ini"
rm -rf "$prefix"/drive_c/users/*/AppData/Local/tarnwick/reports

exe=$(realpath "$exe")  # the program is started from another folder
# The read-me beside the program, as in the zip for Windows users: the help names it.
cp "$(dirname "$0")/../tarnwick_readme.txt" "$(dirname "$exe")/" 2>/dev/null
cd "$build/start Łódź" || fail "no start folder in $build"
started=$SECONDS
"$wine" "$exe" &
app_pid=$!

# wait_for_program SECONDS WHAT COMMAND...: as wait_for, but says what it waited for, and gives
# up at once when tarnwick.exe has ended. Wine is ready by now: what is left is the program's own.
wait_for_program() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        program_ended && fail "tarnwick.exe ended while waiting for $what"
        [ "$SECONDS" -ge "$deadline" ] && fail "waited $seconds s for $what, with wine ready and tarnwick.exe running"
        sleep 0.3
    done
}

caption='Is this the root address of your Poser setup?'
question='^Is this the root address of your Poser setup\?$'
wait_for_program 180 "the Poser root question" window_shown "$question"
sleep 1
import -window root "$question_shot" || fail "no screenshot of the root question"
echo "screenshot of the root question: $question_shot ($((SECONDS - started)) s after the start)"
# The box's own body is a short path: only a box widened for its caption shows it whole.
box_width=$(width_of "$(window_named "$question")")
text_width=$(caption_text_width "$caption")
[ "${box_width:-0}" -ge "$text_width" ] ||
    fail "the root question is $box_width pixels wide, its caption's text $text_width: the caption is cut"
echo "root question: $box_width pixels wide for a caption of $text_width"
key_to "$(window_named "$question")" Return
wait_for_program 60 "the root question to take the answer Yes" window_gone "$question"

wait_for_program 60 "the main window titled tarnwick" window_shown '^tarnwick$'
main=$(window_named '^tarnwick$')
wait_for 60 maximised "$main" || fail "the main window is not maximised: $(xdotool getwindowgeometry "$main")"
sleep 1
import -window root "$shot" || fail "no screenshot"
echo "screenshot of the main window: $shot"

# The menu bar works: "&help" by its menu key shows the help message, titled and naming the
# read-me with the extended repair on; Return dismisses it.
help='^tarnwick help$'
before=$(visible_windows)
key_to "$main" alt+h
wait_for_program 60 "the help message (alt+h): no menu bar?" window_shown "$help"
xdotool key Return
wait_for_program 60 "the help message to go" as_many_windows_as "$before"

# The right-click menu: the report and the options, the options opened by their menu key.
xdotool mousemove 400 400 click 3
wait_for 20 more_windows_than "$before" || fail "a right-click showed no menu"
xdotool key o
sleep 1
import -window root "$options_shot" || fail "no screenshot of the options"
echo "screenshot of the options menu: $options_shot"
xdotool key Escape Escape
wait_for 20 as_many_windows_as "$before" || fail "the right-click menu did not go away"

# The library report: the Windows folder picker, the progress bar, the page.
xdotool mousemove 400 400 click 3
wait_for 20 more_windows_than "$before" || fail "a right-click showed no menu"
xdotool key p
picker='^folder of the library to report on$'
wait_for 30 window_shown "$picker" || fail "the report showed no folder picker"
sleep 1
key_to "$(window_named "$picker")" ctrl+a
xdotool type --delay 30 'C:\library'
import -window root "$picker_shot" || fail "no screenshot of the folder picker"
echo "screenshot of the folder picker: $picker_shot"
xdotool key Return
wait_for 20 window_gone "$picker" || { xdotool key Return; wait_for 10 window_gone "$picker"; } ||
    fail "the folder picker did not take C:\library"
sleep 1.5
import -window root "$report_shot" || fail "no screenshot of the report"
echo "screenshot of the report under way: $report_shot"
page_made() { ls "$prefix"/drive_c/users/*/AppData/Local/tarnwick/reports/library-report-*.html >/dev/null 2>&1; }
# While it goes, the right-click menu offers nothing that could start: its items are greyed,
# those of its options too, as are the menu bar's two commands.
xdotool mousemove 400 400 click 3
wait_for 20 more_windows_than "$before" || fail "a right-click during the report showed no menu"
xdotool key o
sleep 0.5
import -window root "$report_menu_shot" || fail "no screenshot of the menu during the report"
page_made && fail "the report ended before its menu was shown: the screenshot shows an idle window"
echo "screenshot of the right-click menu during the report: $report_menu_shot"
xdotool key Escape Escape
wait_for 20 as_many_windows_as "$before" || fail "the right-click menu did not go away"
# Help still answers while the report goes.
key_to "$main" alt+h
wait_for_program 60 "the help message during the report" window_shown "$help"
import -window root "$help_shot" || fail "no screenshot of the help"
page_made && fail "the report ended before its help was shown: the screenshot shows an idle window"
echo "screenshot of the help during the report: $help_shot"
key_to "$(window_named "$help")" Return
wait_for_program 60 "the help message to go" window_gone "$help"
wait_for 300 page_made || fail "the report wrote no page"
page=$(ls "$prefix"/drive_c/users/*/AppData/Local/tarnwick/reports/library-report-*.html | head -n 1)
grep -q 'Content folders from C:\\users' "$page" || fail "the page does not name the LibraryPrefs.xml it used"
grep -q '<small>tarnwick [0-9]' "$page" || fail "the page is not signed by tarnwick"
echo "report page: $page"
# Where no browser is registered the page cannot be opened: a warning names it.
sleep 2
opening='^I can.t open the report page in the browser$'
if window_shown "$opening"; then
    echo "no browser here: the warning names the page"
    key_to "$(window_named "$opening")" Return
    wait_for 20 window_gone "$opening" || fail "the warning about the page did not go away"
fi

# The extended repair, from the menu bar's folder command by its access key: the folder picker,
# then the run.
pick_run_folder() {  # pick_run_folder FOLDER
    local picker='^folder to be checked$'
    key_to "$main" alt+f
    wait_for_program 60 "the folder picker (alt+f)" window_shown "$picker"
    sleep 1
    key_to "$(window_named "$picker")" ctrl+a
    xdotool type --delay 30 "$1"
    xdotool key Return
    wait_for 20 window_gone "$picker" || { xdotool key Return; wait_for 10 window_gone "$picker"; } ||
        fail "the folder picker did not take $1"
    wait_for_program 120 "the run in $1 to show its file in hand in the title" window_shown 'fig[0-9]+\.cr2$'
}
finished='^searchdir finished, my log is on this file$'
stopped='^the run stopped before its end, my log is on this file$'
closing='^do you want to see my log for this run.$'
log="$build/start Łódź/__result_of_run.txt"
# Answers the run's last two boxes: its end (captioned END), and No to its log; with screenshots
# of each when asked for.
close_run() {  # close_run END [SCREENSHOT_OF_THE_END SCREENSHOT_OF_THE_QUESTION]
    wait_for_program 600 "the run's end ($1)" window_shown "$1"
    [ -n "${2:-}" ] && sleep 1 && { import -window root "$2" || fail "no screenshot of the run's end"; }
    key_to "$(window_named "$1")" Return
    wait_for_program 60 "the run's closing question" window_shown "$closing"
    [ -n "${3:-}" ] && sleep 1 && { import -window root "$3" || fail "no screenshot of the closing question"; }
    key_to "$(window_named "$closing")" n
    wait_for_program 60 "the closing question to take the answer No" window_gone "$closing"
}

# (a) Each mesh found by name is taken without a box: only the status text and the bar move,
# shown once a third of the files are done.
pick_run_folder 'C:\autolib\Runtime\Libraries\a'
wait_for_program 300 "the extended run's 500th file" window_shown 'fig0(0[5-9]|1[0-4])[0-9][0-9]\.cr2$'
import -window root "$extended_shot" || fail "no screenshot of the extended run"
as_many_windows_as "$before" || fail "a box showed during the extended run"
window_shown 'fig[0-9]+\.cr2$' || fail "the extended run ended before its screenshot"
echo "screenshot of the extended run under way: $extended_shot"
close_run "$finished"
grep -q 'files checked: 1500, corrected: 1500, abandoned: 0, references replaced: 1500, left as they are: 0' "$log" ||
    fail "the extended run's log does not end with its summary: $(tail -n 2 "$log")"

# (b) The Cancel button beside the bar (the window maximised on this screen puts it here) stops
# the run before its next file; its end says so, and the closing question says where it stopped.
pick_run_folder 'C:\autolib\Runtime\Libraries\b'
sleep 1
xdotool mousemove 738 198 click 1
close_run "$stopped" "$stopped_box_shot" "$stopped_shot"
grep -q 'stopped before its end: [0-9]* of 4000 files checked' "$log" || fail "the Cancel button did not stop the run"
echo "screenshots of the stopped run's end and closing question: $stopped_box_shot $stopped_shot"

# The undo in the options of the right-click menu (its last item) names the stopped run and gives
# its files back.
first_b="$autolib/Runtime/Libraries/b/set000/fig00000.cr2"
grep -q ':Runtime:Geometries:auto.obj' "$first_b" || fail "the stopped run did not repair its first file"
xdotool mousemove 400 400 click 3
wait_for_program 60 "the right-click menu" more_windows_than "$before"
xdotool key o Up Return
undo_question='^undo the last (extended )?run\?$'
undone='^undo the last (extended )?run$'
wait_for_program 60 "the undo's question" window_shown "$undo_question"
key_to "$(window_named "$undo_question")" y
wait_for_program 600 "what the undo gave back" window_shown "$undone"
sleep 1
import -window root "$undo_shot" || fail "no screenshot of the undo"
echo "screenshot of what the undo gave back: $undo_shot"
key_to "$(window_named "$undone")" Return
wait_for_program 60 "the undo's message to go" window_gone "$undone"
grep -q ':Runtime:Geometries:old:auto.obj' "$first_b" || fail "the undo did not give the stopped run's first file back"

# Not maximised (at the size Windows gives it, narrower than the hint's line), the window wraps its
# hint instead of cutting it at the window's edge.
key_to "$main" alt+space
xdotool key r
# wine resizes the X window in steps: the screenshot waits for a size that holds.
geometry_of() { xdotool getwindowgeometry "$1" 2>/dev/null | tail -n 1; }
restored_and_settled() {
    local before
    before=$(geometry_of "$main")
    ! maximised "$main" && sleep 0.5 && [ "$(geometry_of "$main")" = "$before" ]
}
wait_for_program 60 "the window restored from the window menu (alt+space, r), its size settled" restored_and_settled
import -window root "$narrow_shot" || fail "no screenshot of the window not maximised"
echo "screenshot of the window not maximised: $narrow_shot ($(geometry_of "$main"))"
key_to "$main" alt+space
xdotool key x
wait_for_program 60 "the window maximised again (alt+space, x)" maximised "$main"

# With the extended repair on, the file chooser proposes no name (the last run's log is no Poser file).
chooser='^file to check\?$'
key_to "$main" alt+r
wait_for_program 60 "the file chooser (alt+r)" window_shown "$chooser"
sleep 1
import -window root "$chooser_shot" || fail "no screenshot of the file chooser"
echo "screenshot of the file chooser: $chooser_shot"
# What the name field holds, read through the clipboard: two letters typed at its end, then all of
# it copied (shift+Home, ctrl+c). An empty field gives back the two letters alone.
printf 'nothing copied yet' | xclip -selection clipboard
clipboard() { xclip -o -selection clipboard 2>/dev/null; }
copied() { [ "$(clipboard)" != 'nothing copied yet' ]; }
key_to "$(window_named "$chooser")" End
xdotool type --delay 30 'zq'
xdotool key shift+Home ctrl+c
wait_for_program 60 "the chooser's file name on the clipboard (shift+Home, ctrl+c)" copied
[ "$(clipboard)" = zq ] || fail "the file chooser proposes a name: $(clipboard | sed 's/zq$//')"
echo "the file chooser proposes no name"
key_to "$(window_named "$chooser")" Escape
wait_for_program 60 "the file chooser to go" window_gone "$chooser"

# (c) The close box during an extended run acts as the Cancel button: the run stops before its next
# file, its end and its closing question say so with the counts, the log ends with them, and then
# the program ends with exit status 0.
pick_run_folder 'C:\autolib\Runtime\Libraries\b'
key_to "$main" alt+F4
close_run "$stopped"
wait_for 60 program_ended || fail "closing the main window during a run did not end the program"
wait "$app_pid"
status=$?
app_pid=
[ "$status" -eq 0 ] || fail "tarnwick.exe ended with exit status $status, not 0"
tail -n 2 "$log" | head -n 1 | grep -q '^stopped before its end: [0-9]* of 4000 files checked' &&
    tail -n 1 "$log" | grep -q '^files checked: [0-9]*, corrected: [0-9]*, abandoned: 0' ||
    fail "the log of the run closed meanwhile does not end with where it stopped and its summary: $(tail -n 2 "$log")"
echo "tarnwick.exe: question answered, maximised window with menu bar, help, report, three extended runs, undo, closed during a run with status 0 ($((SECONDS - started)) s)"
