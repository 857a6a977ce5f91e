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
promtool check config "$src/packaging/prometheus-kalvo.yml" >/dev/null
appstreamcli validate --no-net "$build/packaging/org.kalvo.Client.metainfo.xml"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
(cd "$work/prefix" && find . \( -type f -o -type l \) | sort) >"$work/files.txt"
diff -u "$src/tests/packaging/expected-files.txt" "$work/files.txt"
# The service, pointed at the program just installed (systemd wants it there).
sed "s|/usr/bin/kalvo-poll|$work/prefix/bin/kalvo-poll|" "$src/packaging/kalvo-poll.service" \
    >"$work/kalvo-poll.service"
systemd-analyze verify --man=no "$work/kalvo-poll.service"

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

# Every option --help names is in the manual page's SYNOPSIS.
for program in kalvo-client kalvo-poll kalvo-sim; do
    zcat "$work/prefix/share/man/man1/$program.1.gz" | sed -n '/^\.SH SYNOPSIS/,/^\.SH /p' |
        sed -e 's/\\f[A-Z]//g' -e 's/\\[,/&]//g' -e 's/\\-/-/g' >"$work/synopsis"
    env -u DISPLAY "$work/prefix/bin/$program" --help |
        grep -oE -- '(^|[][ (|,])--?[a-zA-Z][a-zA-Z0-9-]*' | sed 's/^[][ (|,]//' | sort -u |
        while read -r option; do
            if ! grep -qE -- "(^|[^a-zA-Z-])$option([^a-zA-Z-]|\$)" "$work/synopsis"; then
                echo "$program: the manual page's SYNOPSIS lacks $option" >&2
                exit 1
            fi
        done
done

(cd "$build" && cpack --config CPackConfig.cmake -B "$work/package" >/dev/null)
for package in kalvo-tools kalvo-client kalvo-client-web; do
    deb=$(ls "$work/package/${package}_${version}_"*.deb)
    lintian --fail-on error,warning "$deb"
done
# The tools install on a machine without a display: no Qt, no browser engine; the window
# without the browser engine, which comes with the web package.
refuses() {
    depends=$(dpkg-deb -f "$work/package/$1_${version}_"*.deb Depends)
    if echo "$depends" | grep -qiE "$2"; then
        echo "$1 depends on $2: $depends" >&2
        exit 1
    fi
}
refuses kalvo-tools 'qt|webengine'
refuses kalvo-client 'webengine'
dpkg-deb -f "$work/package/kalvo-client-web_${version}_"*.deb Depends | grep -q webengine
echo "packaging checks passed"
