#!/usr/bin/env bash
# Builds the Debian package from a configured and built tree, unpacks it into a scratch root
# and checks what a user would get from installing it: the files, the computed dependencies,
# metadata that desktop tools accept, and a program that starts and shows its window with
# readable texts.
#
# Then what a distribution checks: lintian, the copyright file against the licences in the
# source tree, the changelog, the man page and the binary's hardening.
#
#   check_package.sh CPACK CPACK_CONFIG SCRATCH_DIR VERSION APP_ID FORM_UI QT_MAJOR SOURCE_DIR
set -uo pipefail

cpack=$1 config=$2 work=$3 version=$4 app_id=$5 form=$6 qt=$7 source=$8
skipped=77
wait_limit=60 # seconds; only keeps a hung start from blocking the run, never a pass condition

source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

for tool in dpkg-deb od; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is missing; the Debian package cannot be built or unpacked here"
        exit $skipped
    fi
done

rm -rf "$work"
mkdir -p "$work"
root=$work/root

# cpack runs the tree's preinstall step first, so a stale build is brought up to date here
# rather than packaged as it is.
if ! "$cpack" -G DEB --config "$config" -B "$work/pkg" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack could not build the package (needs dpkg-dev and file for dpkg-shlibdeps)"
    exit 1
fi
debs=("$work"/pkg/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "FAIL: expected exactly one .deb in $work/pkg, found: ${debs[*]}"
    exit 1
fi
deb=${debs[0]}
echo "package: $deb"
dpkg-deb --info "$deb" control

field() { dpkg-deb --field "$deb" "$1"; }

check "Package is serialterminal" "it is '$(field Package)'" [ "$(field Package)" = serialterminal ]
check "Version is $version" "it is '$(field Version)'" [ "$(field Version)" = "$version" ]
depends=$(field Depends)
for lib in "libqt${qt}serialport${qt}" "libqt${qt}widgets${qt}"; do
    # A distribution may rename the library package with a suffix (t64 and the like).
    check "Depends lists $lib" "'$depends'" grep -Eq "(^|, )${lib}[a-z0-9]*( |,|$)" <<<"$depends"
done
other=$((qt == 5 ? 6 : 5))
check "Depends lists no Qt $other library" "'$depends'" \
    bash -c '! grep -Eq "(^|, )libqt$0" <<<"$1"' "$other" "$depends"
# The window's texts are Chinese only; the smallest clean font comes first, the others
# already installed satisfy it as well.
check "Depends lists a Chinese font" "'$depends' has no 'fonts-wqy-microhei | ...' group" \
    grep -Eq "(^|, )fonts-wqy-microhei \| fonts-wqy-zenhei \| fonts-noto-cjk( |,|$)" <<<"$depends"

# Native on Wayland only with the platform plugin of the very Qt it was built with.
wayland_plugin=$([ "$qt" = 5 ] && echo qtwayland5 || echo qt6-wayland)
recommends=$(field Recommends)
check "Recommends lists $wayland_plugin" "'$recommends'" \
    grep -Eq "(^|, )${wayland_plugin}( |,|$)" <<<"$recommends"

dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x failed"; exit 1; }

bin=$root/usr/bin/serialterminal
desktop=$root/usr/share/applications/$app_id.desktop
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml

magic=$(od -An -c -N4 "$bin" 2>/dev/null | tr -d ' ')
check "usr/bin/serialterminal is an executable" "missing, not executable or not ELF" \
    [ -x "$bin" -a "$magic" = '177ELF' ]
others=$(find "$root/usr/bin" -mindepth 1 ! -name serialterminal)
check "nothing else in usr/bin" "found $others" [ -z "$others" ]
stray=$(find "$root" -name '*.a' -o -name '*.h' -o -name 'tst_*')
check "no build leftovers" "found $stray" [ -z "$stray" ]
check "desktop entry installed" "no $desktop" [ -f "$desktop" ]
check "metainfo installed" "no $metainfo" [ -f "$metainfo" ]

for size in 16 32 48 128; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    if [ ! -f "$png" ]; then
        fail "no ${size}x${size} icon at $png"
        continue
    fi
    # PNG signature, then IHDR's big-endian width and height at offsets 16 and 20.
    signature=$(od -An -tx1 -N8 "$png" | tr -d ' \n')
    read -r w0 w1 w2 w3 h0 h1 h2 h3 < <(od -An -tu1 -j16 -N8 "$png")
    width=$(((w0 << 24) | (w1 << 16) | (w2 << 8) | w3))
    height=$(((h0 << 24) | (h1 << 16) | (h2 << 8) | h3))
    if [ "$signature" = 89504e470d0a1a0a ] && [ "$width" = "$size" ] && [ "$height" = "$size" ]; then
        pass "${size}x${size} icon"
    else
        fail "${size}x${size} icon is not a ${size}x${size} PNG (signature $signature, ${width}x${height})"
    fi
done

if [ -f "$desktop" ]; then
    entry() { sed -n "s/^$1=//p" "$desktop" | head -n 1; }
    check "desktop Icon names the icons" "it is '$(entry Icon)', the icons are $app_id" \
        [ "$(entry Icon)" = "$app_id" ]
    check "desktop Exec names the program" "'$(entry Exec)' is not a program in usr/bin" \
        [ -x "$root/usr/bin/$(entry Exec | cut -d' ' -f1)" ]
fi
if [ -f "$metainfo" ]; then
    check "metainfo launches $app_id.desktop" "its launchable differs" \
        grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo"
    newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
    check "metainfo's newest release is $version" "it is '$newest': add a <release>" \
        [ "$newest" = "$version" ]
fi

# dpkg counts every file in whole KiB and everything else as 1 KiB; apt checks the free
# space against this figure.
counted=$(find "$root" -printf '%y %s\n' | awk '{ k += $1 == "f" ? int(($2 + 1023) / 1024) : 1 } END { print k }')
check "Installed-Size is dpkg's count, $counted KiB" "it is '$(field Installed-Size)'" \
    [ "$(field Installed-Size)" = "$counted" ]
members=$(ar t "$deb" 2>/dev/null | tr '\n' ' ')
check "compressed with xz" "the members are $members" grep -q 'data\.tar\.xz' <<<"$members"

doc=$root/usr/share/doc/serialterminal
if [ -f "$doc/changelog.gz" ]; then
    newest=$(gzip -dc "$doc/changelog.gz" | sed -n '1s/^serialterminal (\([^)]*\)).*/\1/p')
    check "changelog's newest entry is $version" "it is '$newest'" [ "$newest" = "$version" ]
else
    fail "no changelog.gz in $doc"
fi

# Every licence the sources name must be stated in the copyright file; DEP-5 calls MIT Expat.
copyright=$doc/copyright
if [ -f "$copyright" ]; then
    check "copyright file is machine-readable" "its first line is not the DEP-5 Format" \
        grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright"
    named=$(cd "$source" && { git ls-files -z 2>/dev/null || find . -path './build*' -prune -o -type f -print0; } |
        xargs -0 grep -ho -e 'SPDX-License-Identifier: *[A-Za-z0-9.+-]*' -e '<[a-z_]*license>[^<]*' 2>/dev/null |
        sed 's/.*[:>] *//' | sed 's/^MIT$/Expat/' | sort -u)
    for licence in $named; do
        check "copyright states $licence" "no 'License: $licence' in $copyright" \
            grep -q "^License: $licence\$" "$copyright"
    done
    # The Expat stanza is the LICENSE file's text, not a copy that has drifted.
    stanza=$(awk -v RS= '/^License: Expat\n/' "$copyright" | sed '1d; s/^ //; s/^\.$//')
    licence_text=$(sed -n '/^Permission is hereby granted/,$p' "$source/LICENSE")
    check "copyright's Expat text is LICENSE's" "they differ" [ "$stanza" = "$licence_text" ]
else
    fail "no copyright file at $copyright"
fi

manpage=$root/usr/share/man/man1/serialterminal.1.gz
if [ -f "$manpage" ]; then
    title=$(gzip -dc "$manpage" | sed -n 's/^\.TH SERIALTERMINAL 1 [^ ]* "serialterminal \([^"]*\)".*/\1/p')
    check "man page is of version $version" "its .TH line names '$title'" [ "$title" = "$version" ]
    if command -v lexgrog >/dev/null && command -v man >/dev/null; then
        check "man page's NAME section reads" "lexgrog: $(lexgrog "$manpage" 2>&1)" \
            grep -q ': "serialterminal - ' <(lexgrog "$manpage" 2>&1)
        # As lintian runs it: any message from groff is a mistake in the page.
        warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$manpage" 2>&1 >/dev/null)
        check "man --warnings is silent" "$warnings" [ -z "$warnings" ]
    else
        echo "SKIP: lexgrog or man is missing (package man-db); the man page was not read"
    fi
else
    fail "no man page at $manpage"
fi

if command -v readelf >/dev/null && command -v objdump >/dev/null; then
    dynamic=$(readelf -d "$bin")
    check "the program is position-independent" "no PIE flag in its dynamic section" \
        grep -Eq 'FLAGS_1.*PIE' <<<"$dynamic"
    check "the program binds at start (BIND_NOW)" "no BIND_NOW flag" grep -Eq 'FLAGS.*BIND_NOW' <<<"$dynamic"
    check "the program has a read-only relocation segment" "no GNU_RELRO" \
        grep -q GNU_RELRO <(readelf -lW "$bin")
    check "the program calls the stack protector" "no __stack_chk_fail" \
        grep -q __stack_chk_fail <(readelf --dyn-syms -W "$bin")
    # Debian 12's C start files carry no CET note, so the linker writes none for any program;
    # the instructions -fcf-protection puts at every function entry are there all the same.
    entries=$(objdump -d --no-show-raw-insn "$bin" | grep -c endbr64)
    check "the program's functions start with endbr64 (-fcf-protection)" "$entries found" [ "$entries" -gt 50 ]
    sections=$(readelf -SW "$bin")
    check "no .comment section" "it is still there" bash -c '! grep -q " \.comment " <<<"$0"' "$sections"
else
    echo "SKIP: readelf or objdump is missing (package binutils); the hardening was not read"
fi
# _FORTIFY_SOURCE shows only in calls the compiler could check, and this program makes none
# (its copies are libstdc++'s own __builtin_memmove), so the build says how it was compiled.
if [ -n "${PROGRAM_COMPILE_OPTIONS:-}" ]; then
    check "compiled with _FORTIFY_SOURCE" "the options are '$PROGRAM_COMPILE_OPTIONS'" \
        grep -Eq -- '-D_FORTIFY_SOURCE=[23]' <<<"$PROGRAM_COMPILE_OPTIONS"
fi
if command -v hardening-check >/dev/null; then
    hardening-check "$bin"
    check "hardening-check" "see its report above" \
        hardening-check --quiet --nofortify --nocfprotection "$bin"
else
    echo "SKIP: hardening-check is missing (package devscripts)"
fi

if command -v lintian >/dev/null; then
    # Every tag counts, the informational and pedantic ones too.
    tags=$(lintian --pedantic --display-info "$deb" 2>&1 | grep -E '^[A-Z]: ')
    check "lintian --pedantic --display-info reports nothing" $'\n'"$tags" [ -z "$tags" ]
else
    echo "SKIP: lintian is missing; the package was not linted"
fi

if command -v desktop-file-validate >/dev/null; then
    # Hints count too: they are printed, and the entry should draw none.
    if out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ]; then
        pass "desktop-file-validate"
    else
        fail "desktop-file-validate: $out"
    fi
else
    echo "SKIP: desktop-file-validate is missing (package desktop-file-utils); desktop entry not validated"
fi
if command -v appstreamcli >/dev/null; then
    # validate-tree checks the metainfo and that the desktop entry it launches is installed.
    if appstreamcli validate-tree --no-net --pedantic --explain "$root"; then
        pass "appstreamcli validate-tree"
    else
        fail "appstreamcli validate-tree"
    fi
else
    echo "SKIP: appstreamcli is missing (package appstream); metainfo not validated"
fi


# Waits until COMMAND succeeds while the program PID is still running.
wait_for()
{
    local pid=$1 what=$2
    shift 2
    local deadline=$((SECONDS + wait_limit))
    while ((SECONDS < deadline)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            fail "the program exited with $? before $what"
            return 1
        fi
        "$@" && return 0
        sleep 0.2
    done
    fail "no $what within ${wait_limit}s"
    return 1
}

# Stops the program; a status other than SIGTERM's means it died on its own first.
stop()
{
    local pid=$1
    # Already reaped by wait_for, which has reported how it ended.
    kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null
    wait "$pid"
    local status=$?
    [ $status -eq 143 ] || fail "the program ended with status $status instead of by SIGTERM"
}

# Offscreen, the widget repaint manager's log tells when the dialog's top-level window has
# been painted and flushed, which happens only once it is shown.
log=$work/offscreen.log
QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="qt.widgets.painting=true" "$bin" >"$log" 2>&1 &
app=$!
pids+=("$app")
if wait_for "$app" "flushed dialog window under offscreen" \
    grep -q '^qt.widgets.painting: Flushing QRegion(.*) of Dialog(' "$log"; then
    pass "the installed program shows its window (offscreen)"
fi
stop "$app"

# Qt's font fallback asks fontconfig for a font holding each character, so every character of
# the form's texts needs one on this machine, or the window shows it as an empty box.
if command -v fc-list >/dev/null && command -v python3 >/dev/null; then
    codes=$(python3 - "$form" <<'EOF'
import html, re, sys, xml.etree.ElementTree as tree
form = tree.parse(sys.argv[1])
texts = [e.text or "" for name in ("windowTitle", "title", "text")
         for e in form.iterfind(f".//property[@name='{name}']/string")]
shown = html.unescape(re.sub(r"<[^>]*>", "", "".join(texts)))  # a label's rich text, as drawn
print(" ".join(sorted({f"{ord(c):x}" for c in shown if not c.isspace()})))
EOF
    )
    missing=""
    for code in $codes; do
        [ -n "$(fc-list ":charset=$code" family)" ] || missing+=" $(printf "\\U$code")"
    done
    if [ -z "$codes" ]; then
        fail "no texts found in $form"
    elif [ -z "$missing" ]; then
        pass "an installed font has every character of the window's texts"
    else
        fail "no installed font has$missing: the window shows empty boxes; install fonts-wqy-microhei"
    fi
else
    echo "SKIP: fc-list (package fontconfig) or python3 is missing; the texts' glyphs not checked"
fi

# On a real X server: the window's title, and the WM class that the desktop entry tells
# launchers to match the running window against.
visible_window() { xdotool search --onlyvisible "$@" >/dev/null 2>&1; }
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
    # -displayfd lets the server pick a free display itself, so parallel runs cannot collide;
    # -noreset keeps it answering while the second program starts after the first ends.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb=$!
    pids+=("$xvfb")
    deadline=$((SECONDS + wait_limit))
    while [ ! -s "$work/display" ] && kill -0 "$xvfb" 2>/dev/null && ((SECONDS < deadline)); do
        sleep 0.1
    done
    if [ -s "$work/display" ]; then
        DISPLAY=:$(head -n 1 "$work/display")
        export DISPLAY
        QT_QPA_PLATFORM=xcb "$bin" >"$work/xcb.log" 2>&1 &
        app=$!
        pids+=("$app")
        if wait_for "$app" "visible window titled 串口工具" visible_window --name '^串口工具$'; then
            pass "the installed program shows a window titled 串口工具 (Xvfb)"
            wm_class=$(sed -n 's/^StartupWMClass=//p' "$desktop")
            if [ -z "$wm_class" ]; then
                fail "the desktop entry sets no StartupWMClass"
            elif visible_window --classname "^$wm_class\$"; then
                pass "the window's WM class matches StartupWMClass=$wm_class"
            else
                fail "no window with WM class '$wm_class' as the desktop entry's StartupWMClass says"
            fi
            check "no OpenGL integration loaded" "$(grep -o '[^/]*gl[^/]*\.so[^ ]*' /proc/$app/maps | sort -u | tr '\n' ' ')" \
                bash -c '! grep -q glx-integration "/proc/$0/maps"' "$app"
        fi
        stop "$app"
        # A user who asks for the GLX integration still gets it. Qt 6 loads it only once
        # something draws with OpenGL, which nothing here does.
        if [ "$qt" = 5 ]; then
            QT_QPA_PLATFORM=xcb QT_XCB_GL_INTEGRATION=xcb_glx "$bin" >"$work/xcb-glx.log" 2>&1 &
            app=$!
            pids+=("$app")
            if wait_for "$app" "visible window with QT_XCB_GL_INTEGRATION=xcb_glx" \
                visible_window --name '^串口工具$'; then
                check "QT_XCB_GL_INTEGRATION=xcb_glx is kept" "no GLX integration in the process" \
                    grep -q glx-integration "/proc/$app/maps"
            fi
            stop "$app"
        fi
    else
        cat "$work/xvfb.log"
        fail "Xvfb did not start"
    fi
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
else
    echo "SKIP: Xvfb or xdotool is missing (packages xvfb, xdotool); window title not checked"
fi

if [ $failures -ne 0 ]; then
    echo "package check: $failures failed"
    exit 1
fi
echo "package check: all passed"
