#!/usr/bin/env bash
# tarnwick.exe as a user meets it, under Xvfb and wine, started in a folder named in Polish:
# the Poser root question (a message box wide enough for its whole caption, showing a root
# named in Polish, Greek and Japanese, saved as a screenshot) answered from the keyboard,
# the maximised main window titled "tarnwick" with its menu bar (saved as
# a screenshot in the build folder), the help command reached through its menu key, the
# right-click menu with its options, the library report through the Windows folder picker
# with its progress bar and its page (screenshots of each), the menus greyed while the report
# goes (a screenshot of the right-click menu), two extended repairs with "take a file found by
# name without asking" on (a screenshot of one under way, showing no box, and of the other's
# closing question after its Cancel button), and the close box ending the program with exit
# status 0.
# Usage: scripts/test-gui-wine.sh TARNWICK_EXE BUILD_FOLDER
#        scripts/test-gui-wine.sh --prepare BUILD_FOLDER   (only makes the wine prefix)
# Exit status 77 (skipped, for CTest) only when Xvfb or wine cannot start on this machine.
set -uo pipefail

exe=$1
build=$2
prefix=$build/wineprefix-gui
shot=$build/tarnwick-window.png
question_shot=$build/tarnwick-question.png
options_shot=$build/tarnwick-options-menu.png
picker_shot=$build/tarnwick-folder-picker.png
report_shot=$build/tarnwick-report.png
report_menu_shot=$build/tarnwick-report-menu.png
extended_shot=$build/tarnwick-extended-run.png
stopped_shot=$build/tarnwick-stopped-run.png
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

for tool in Xvfb xdotool import flock; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done
wine=$(command -v wine || command -v wine-stable) || skip "wine is not installed"
wineserver=$(command -v wineserver || command -v wineserver-stable) || skip "wineserver is not installed"

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    # Ends the processes of this test's own prefix only.
    [ -d "$prefix" ] && timeout 20 "$wineserver" -k 2>/dev/null
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

# The prefix, made once per build folder. Wine then draws the window frames itself: with
# no window manager on the display, nobody else would maximise the window or draw its title.
prepare_prefix() {
    [ -e "$prefix/.tarnwick-ready" ] && return
    echo "making the wine prefix $prefix (the first start takes a while)"
    timeout 300 "$wine" wineboot --init >/dev/null 2>&1 || skip "wine cannot start (wineboot failed)"
    timeout 120 "$wineserver" -w
    timeout 60 "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 ||
        skip "wine cannot start (reg failed)"
    # The report's page goes to a browser that starts nothing on this machine.
    timeout 60 "$wine" reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d true /f >/dev/null 2>&1
    timeout 120 "$wineserver" -w
    touch "$prefix/.tarnwick-ready"
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
cd "$build/start Łódź" || fail "no start folder in $build"
started=$SECONDS
"$wine" "$exe" &
app_pid=$!

caption='Is this the root address of your Poser setup?'
question='^Is this the root address of your Poser setup\?$'
wait_for 90 window_shown "$question" || fail "the Poser root question did not appear"
sleep 1
import -window root "$question_shot" || fail "no screenshot of the root question"
echo "screenshot of the root question: $question_shot"
# The box's own body is a short path: only a box widened for its caption shows it whole.
box_width=$(width_of "$(window_named "$question")")
text_width=$(caption_text_width "$caption")
[ "${box_width:-0}" -ge "$text_width" ] ||
    fail "the root question is $box_width pixels wide, its caption's text $text_width: the caption is cut"
echo "root question: $box_width pixels wide for a caption of $text_width"
key_to "$(window_named "$question")" Return
wait_for 20 window_gone "$question" || fail "the Poser root question did not take the answer Yes"

wait_for 30 window_shown '^tarnwick$' || fail "no main window titled tarnwick"
main=$(window_named '^tarnwick$')
wait_for 20 maximised "$main" || fail "the main window is not maximised: $(xdotool getwindowgeometry "$main")"
sleep 1
import -window root "$shot" || fail "no screenshot"
echo "screenshot of the main window: $shot"

# The menu bar works: "&help" by its menu key shows the help message; Return dismisses it.
before=$(visible_windows)
key_to "$main" alt+h
wait_for 20 more_windows_than "$before" || fail "alt+h showed no help message: no menu bar?"
xdotool key Return
wait_for 20 as_many_windows_as "$before" || fail "the help message did not go away"

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
xdotool key r
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
wait_for 120 page_made || fail "the report wrote no page"
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

# The extended repair, from the menu bar's folder command: the folder picker, then the run.
pick_run_folder() {  # pick_run_folder FOLDER
    local picker='^folder to be checked$'
    key_to "$main" F10
    xdotool key Right Return
    wait_for 30 window_shown "$picker" || fail "the folder command showed no folder picker"
    sleep 1
    key_to "$(window_named "$picker")" ctrl+a
    xdotool type --delay 30 "$1"
    xdotool key Return
    wait_for 20 window_gone "$picker" || { xdotool key Return; wait_for 10 window_gone "$picker"; } ||
        fail "the folder picker did not take $1"
    wait_for 60 window_shown 'fig[0-9]+\.cr2$' || fail "the run in $1 showed no file in hand in the title"
}
finished='^searchdir finished, my log is on this file$'
closing='^do you want to see my log for this run.$'
log="$build/start Łódź/__result_of_run.txt"
# Answers the run's last two boxes: its end, and No to its log.
close_run() {
    wait_for 300 window_shown "$finished" || fail "the run did not end with its information box"
    key_to "$(window_named "$finished")" Return
    wait_for 20 window_shown "$closing" || fail "the run asked no closing question"
    [ -n "${1:-}" ] && sleep 1 && { import -window root "$1" || fail "no screenshot of the closing question"; }
    key_to "$(window_named "$closing")" n
    wait_for 20 window_gone "$closing" || fail "the closing question did not take the answer No"
}

# (a) Each mesh found by name is taken without a box: only the status text and the bar move,
# shown once a third of the files are done.
pick_run_folder 'C:\autolib\Runtime\Libraries\a'
wait_for 120 window_shown 'fig0(0[5-9]|1[0-4])[0-9][0-9]\.cr2$' || fail "the extended run did not reach its 500th file"
import -window root "$extended_shot" || fail "no screenshot of the extended run"
as_many_windows_as "$before" || fail "a box showed during the extended run"
window_shown 'fig[0-9]+\.cr2$' || fail "the extended run ended before its screenshot"
echo "screenshot of the extended run under way: $extended_shot"
close_run
grep -q 'files checked: 1500, corrected: 1500, abandoned: 0, references replaced: 1500, left as they are: 0' "$log" ||
    fail "the extended run's log does not end with its summary: $(tail -n 2 "$log")"

# (b) The Cancel button beside the bar (the window maximised on this screen puts it here) stops
# the run before its next file; the closing question still comes, and says where it stopped.
pick_run_folder 'C:\autolib\Runtime\Libraries\b'
sleep 1
xdotool mousemove 738 198 click 1
close_run "$stopped_shot"
grep -q 'stopped before its end: [0-9]* of 4000 files checked' "$log" || fail "the Cancel button did not stop the run"
echo "screenshot of the stopped run's closing question: $stopped_shot"

key_to "$main" alt+F4
wait_for 30 program_ended || fail "closing the main window did not end the program"
wait "$app_pid"
status=$?
app_pid=
[ "$status" -eq 0 ] || fail "tarnwick.exe ended with exit status $status, not 0"
echo "tarnwick.exe: question answered, maximised window with menu bar, help, report, two extended runs, closed with status 0 ($((SECONDS - started)) s)"
