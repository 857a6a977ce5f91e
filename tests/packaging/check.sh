#!/bin/sh
# The installable application as a distribution would check it: the desktop entry, the
# AppStream metadata, the installed files, each program's --version, and lintian on the
# Debian package. Usage: check.sh SOURCE_DIR BUILD_DIR VERSION
set -eu
src=$1
build=$2
version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

desktop-file-validate "$src/packaging/org.kalvo.Client.desktop"
appstreamcli validate --no-net "$build/packaging/org.kalvo.Client.metainfo.xml"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
(cd "$work/prefix" && find . \( -type f -o -type l \) | sort) >"$work/files.txt"
diff -u "$src/tests/packaging/expected-files.txt" "$work/files.txt"

# --version and --help answer, and say nothing else, without a display or a runtime folder.
for program in kalvo-client kalvo-poll kalvo-sim; do
    said=$(env -u DISPLAY -u XDG_RUNTIME_DIR "$work/prefix/bin/$program" --version 2>"$work/err")
    if [ "$said" != "$program $version" ] || [ -s "$work/err" ]; then
        echo "$program --version said '$said' and '$(cat "$work/err")'" >&2
        exit 1
    fi
    env -u DISPLAY -u XDG_RUNTIME_DIR "$work/prefix/bin/$program" --help >/dev/null 2>"$work/err"
    if [ -s "$work/err" ]; then
        echo "$program --help also said '$(cat "$work/err")'" >&2
        exit 1
    fi
done

(cd "$build" && cpack --config CPackConfig.cmake -B "$work/package" >/dev/null)
lintian --fail-on error "$work/package"/kalvo-client_*.deb
echo "packaging checks passed"
