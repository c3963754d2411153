#!/usr/bin/env bash
# Builds the RPM package from a configured and built tree and checks it as an RPM-based
# distribution would: rpmlint, the licence and descriptions, the requirements rpm computes
# for the libraries beside the Chinese font, the documentation, and that it owns no folder
# other packages share.
#
#   check_rpm.sh CPACK CPACK_CONFIG SCRATCH_DIR QT_MAJOR RPMLINT_CONFIG
set -uo pipefail

cpack=$1 config=$2 work=$3 qt=$4 rpmlint_config=$5
skipped=77

for tool in rpmbuild rpm rpmlint; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is missing (packages rpm, rpmlint); the RPM package was not built"
        exit $skipped
    fi
done

source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

rm -rf "$work"
mkdir -p "$work"
if ! "$cpack" -G RPM --config "$config" -B "$work" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack could not build the RPM package"
    exit 1
fi
rpms=("$work"/*.rpm)
if [ ${#rpms[@]} -ne 1 ] || [ ! -f "${rpms[0]}" ]; then
    echo "FAIL: expected exactly one .rpm in $work, found: ${rpms[*]}"
    exit 1
fi
package=${rpms[0]}
echo "package: $package"
rpm -qip "$package"

# Signing is the distributor's step. rpmlint's own configuration lists no valid licence and
# expects bzip2 man pages; the one given here says what RPM distributions use.
report=$(rpmlint -c "$rpmlint_config" "$package" 2>&1)
echo "$report"
errors=$(grep ': E: ' <<<"$report" | grep -v ': E: no-signature')
check "rpmlint reports no error but no-signature" $'\n'"$errors" [ -z "$errors" ]

tag() { rpm -qp --qf "%{$1}" "$package"; }
check "License is MIT" "it is '$(tag LICENSE)'" [ "$(tag LICENSE)" = MIT ]
check "Summary is the program's" "it is '$(tag SUMMARY)'" grep -q '^Serial port terminal' <<<"$(tag SUMMARY)"
check "Description is the program's" "it is '$(tag DESCRIPTION)'" \
    grep -q 'for talking to a serial port' <<<"$(tag DESCRIPTION)"
check "URL is set" "it is '$(tag URL)'" grep -q '^https://' <<<"$(tag URL)"

requires=$(rpm -qpR "$package")
for lib in "libQt${qt}Widgets.so.${qt}()(64bit)" "libQt${qt}SerialPort.so.${qt}()(64bit)"; do
    check "requires $lib" "$(tr '\n' ' ' <<<"$requires")" grep -qxF "$lib" <<<"$requires"
done
check "requires a Chinese font" "no font(:lang=zh-cn)" grep -qxF 'font(:lang=zh-cn)' <<<"$requires"

docs=$(rpm -qpd "$package")
for doc in /usr/share/man/man1/serialterminal.1.gz /usr/share/doc/serialterminal/copyright \
    /usr/share/doc/serialterminal/changelog.gz; do
    check "documentation $doc" "rpm lists as documentation: $(tr '\n' ' ' <<<"$docs")" grep -qxF "$doc" <<<"$docs"
done

# Folders the package may own: its doc folder and rpm's build-id links. Every other folder
# belongs to the filesystem or to the packages that made it.
owned=$(rpm -qp --qf '[%{FILEMODES:perms} %{FILENAMES}\n]' "$package" | sed -n 's/^d[^ ]* //p' |
    grep -vxE '/usr/share/doc/serialterminal|/usr/lib/\.build-id(/.*)?')
check "owns no shared folder" "it owns $(tr '\n' ' ' <<<"$owned")" [ -z "$owned" ]

if [ $failures -ne 0 ]; then
    echo "rpm check: $failures failed"
    exit 1
fi
echo "rpm check: all passed"
